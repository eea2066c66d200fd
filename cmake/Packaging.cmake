# Installation and packages: the MSI (wixl) and a zip on Windows, the .deb on
# Linux. Included from the top-level CMakeLists.txt; the installers' own
# programs and the msi target are in packaging/CMakeLists.txt.
# The packages install their own quiet INI set, not the demonstration set in
# examples/: both checks off and no mail until an administrator configures them.
set(QV_DEFAULT_INI
  ${PROJECT_SOURCE_DIR}/packaging/defaults/config.ini
  ${PROJECT_SOURCE_DIR}/packaging/defaults/quorvanex.ini
  ${PROJECT_SOURCE_DIR}/packaging/defaults/mail.ini
  ${PROJECT_SOURCE_DIR}/packaging/defaults/message.ini)
set(CPACK_PACKAGE_NAME QuorvanexWatchdog)
set(CPACK_PACKAGE_VENDOR Quorvanex)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Watchdog for network device servers and the device behind them")
set(CPACK_PACKAGE_CONTACT "Quorvanex <support@quorvanex.invalid>")
# CPack writes these into CPackSourceConfig.cmake inside a quoted string, which
# reads them again: the backslash of the regular expression is escaped twice.
set(CPACK_SOURCE_IGNORE_FILES /build/ "/\\\\.git/")

if(WIN32)
  # The programs and their INI files share one directory.
  set(QV_INSTALL_PROGRAMS Monitor Ostrival quorvanexctl)
  foreach(program IN ITEMS Configurator Pomvex)
    if(TARGET ${program})
      list(APPEND QV_INSTALL_PROGRAMS ${program})
    endif()
  endforeach()
  if(MINGW)
    # The packages take stripped copies (stripped/), made after each link;
    # the debug information goes to symbols/NAME.debug, and each copy keeps a
    # link to it (.gnu_debuglink) that gdb follows through stripped/.debug.
    # The programs in bin/ keep theirs.
    set(QV_STRIPPED_DIR ${CMAKE_BINARY_DIR}/stripped)
    set(QV_SYMBOLS_DIR ${CMAKE_BINARY_DIR}/symbols)
    file(MAKE_DIRECTORY ${QV_STRIPPED_DIR} ${QV_SYMBOLS_DIR})
    file(CREATE_LINK ../symbols ${QV_STRIPPED_DIR}/.debug SYMBOLIC)
    # Adds the custom target `name`, built by default, that makes the
    # stripped copies of the targets; their paths are left in `name`_FILES.
    function(qv_strip_for_packages name)
      set(files)
      foreach(target IN LISTS ARGN)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "SHARED_LIBRARY")
          set(file ${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
        else()
          set(file ${target}${CMAKE_EXECUTABLE_SUFFIX})
        endif()
        set(debug ${QV_SYMBOLS_DIR}/${file}.debug)
        add_custom_command(OUTPUT ${QV_STRIPPED_DIR}/${file} ${debug}
          COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}
          COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${debug}
                  $<TARGET_FILE:${target}> ${QV_STRIPPED_DIR}/${file}
          DEPENDS ${target}
          VERBATIM)
        list(APPEND files ${QV_STRIPPED_DIR}/${file})
      endforeach()
      add_custom_target(${name} ALL DEPENDS ${files})
      set(${name}_FILES ${files} PARENT_SCOPE)
    endfunction()
    qv_strip_for_packages(qv_stripped_programs ${QV_INSTALL_PROGRAMS})
    install(PROGRAMS ${qv_stripped_programs_FILES} DESTINATION .)
  else()
    install(TARGETS ${QV_INSTALL_PROGRAMS} RUNTIME DESTINATION .)
  endif()
  # A signed zip: QV_SIGN_PFX and the password (scripts/sign-windows.sh) in
  # the environment of cpack.
  install(CODE "
    if(NOT \"\$ENV{QV_SIGN_PFX}\" STREQUAL \"\")
      file(GLOB signed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.exe\")
      execute_process(COMMAND bash \"${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh\" \${signed}
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  install(FILES ${QV_DEFAULT_INI} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  # Paths are relative to "/" (cmake --install --prefix DIR stages the same
  # tree under DIR). The Monitor reads its INI files beside itself; they live
  # in /etc/quorvanex as conffiles and are linked into the program directory.
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX / CACHE PATH "Install prefix" FORCE)
  endif()
  set(QV_LINUX_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/linux)
  # The Monitor starts the mailer beside itself as Ostrival.exe.
  install(TARGETS Monitor Ostrival quorvanexctl RUNTIME DESTINATION opt/quorvanex)
  # The operator's command on the administrator's PATH; it finds its
  # directory through the link.
  set(QV_CTL_LINK ${CMAKE_BINARY_DIR}/packaging/links/sbin/quorvanexctl)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/links/sbin)
  file(CREATE_LINK /opt/quorvanex/quorvanexctl ${QV_CTL_LINK} SYMBOLIC)
  install(FILES ${QV_CTL_LINK} DESTINATION usr/sbin)
  # The Linux set writes the metrics file into the service's state directory,
  # where the package links it for node_exporter; the Windows set keeps it off.
  set(QV_LINUX_INI ${QV_DEFAULT_INI})
  set(QV_LINUX_CONFIG_INI ${CMAKE_BINARY_DIR}/packaging/linux/config.ini)
  # (file(READ) drops the CRs; the copy is written with CRLF again.)
  file(READ ${PROJECT_SOURCE_DIR}/packaging/defaults/config.ini config_ini)
  string(REPLACE "\nTextfileDir=\n" "\nTextfileDir=/var/lib/quorvanex\n" linux_config_ini "${config_ini}")
  if(linux_config_ini STREQUAL config_ini)
    message(FATAL_ERROR "packaging/defaults/config.ini has no empty TextfileDir= line")
  endif()
  file(CONFIGURE OUTPUT ${QV_LINUX_CONFIG_INI} CONTENT "${linux_config_ini}" @ONLY NEWLINE_STYLE CRLF)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/defaults/config.ini)
  list(TRANSFORM QV_LINUX_INI REPLACE ".*/config\\.ini$" ${QV_LINUX_CONFIG_INI})
  install(FILES ${QV_LINUX_INI} DESTINATION etc/quorvanex)
  set(QV_INI_LINKS)
  foreach(ini IN LISTS QV_DEFAULT_INI)
    get_filename_component(name ${ini} NAME)
    set(link ${CMAKE_BINARY_DIR}/packaging/links/${name})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/links)
    file(CREATE_LINK /etc/quorvanex/${name} ${link} SYMBOLIC)
    list(APPEND QV_INI_LINKS ${link})
  endforeach()
  install(FILES ${QV_INI_LINKS} DESTINATION opt/quorvanex)
  # The log lives where Debian keeps logs; the program directory keeps "log"
  # as a link to it, so LogDir=log still names the folder beside the Monitor.
  set(QV_LOG_LINK ${CMAKE_BINARY_DIR}/packaging/links/log)
  file(CREATE_LINK /var/log/quorvanex ${QV_LOG_LINK} SYMBOLIC)
  install(FILES ${QV_LOG_LINK} DESTINATION opt/quorvanex)
  install(DIRECTORY DESTINATION var/log/quorvanex)
  install(FILES ${QV_LINUX_PACKAGING}/quorvanexdevicechecker.service DESTINATION lib/systemd/system)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION usr/share/doc/quorvanexdevicechecker)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
  set(CPACK_DEBIAN_PACKAGE_NAME quorvanexdevicechecker)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  # The Monitor is installed stripped; CPack moves its debug information into
  # a -dbgsym package beside the .deb (under /usr/lib/debug/.build-id).
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  find_program(QV_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(QV_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, init-system-helpers (>= 1.54~)")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libcurl4 (>= 7.88), passwd, init-system-helpers (>= 1.54~)")
  endif()
  # The unit needs no dependency: without systemd the Monitor runs by hand.
  # The mailer trusts the system's certificate authorities (OpenSSL reads
  # them from /etc/ssl/certs).
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, ca-certificates")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${QV_LINUX_PACKAGING}/conffiles
    ${QV_LINUX_PACKAGING}/triggers
    ${QV_LINUX_PACKAGING}/preinst
    ${QV_LINUX_PACKAGING}/postinst
    ${QV_LINUX_PACKAGING}/prerm
    ${QV_LINUX_PACKAGING}/postrm)
endif()
# Example Prometheus configuration and alert rules for the metrics file.
set(QV_PROMETHEUS_EXAMPLES
  ${PROJECT_SOURCE_DIR}/packaging/prometheus/prometheus.yml
  ${PROJECT_SOURCE_DIR}/packaging/prometheus/quorvanex-rules.yml)
if(WIN32)
  install(FILES ${QV_PROMETHEUS_EXAMPLES} DESTINATION examples/prometheus)
else()
  install(FILES ${QV_PROMETHEUS_EXAMPLES} DESTINATION usr/share/doc/quorvanexdevicechecker/examples/prometheus)
endif()
include(CPack)
