// Reads back what Pomvex put on the screen, for the end-to-end test. Prints
// key=value lines (UTF-8).
//   PomvexBoxProbe CAPTION            the visible message boxes titled CAPTION;
//                                     exit 0 when there is exactly one
//   PomvexBoxProbe --resources EXE    version numbers and manifest of EXE
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct ModuleDeleter {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using DcHandle = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
using GdiHandle = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDeleter>;
using ModuleHandle = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleDeleter>;

void Print(const std::wstring& line) {
  std::wstring text = line + L"\n";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

// Line breaks and backslashes escaped, so the value stays on one line.
std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\') out += L"\\\\";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'\r') out += L"\\r";
    else out += c;
  }
  return out;
}

// Icon handles belong to the process that loaded them, so the icon is
// compared by what the screen shows against the system icon drawn the way a
// static control draws it. The box is topmost, so nothing covers it.
std::vector<std::uint32_t> Pixels(const RECT& rect, HICON icon) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  DcHandle dc(CreateCompatibleDC(nullptr));
  GdiHandle bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap || !bits) return {};
  HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
  if (icon) {
    RECT all{0, 0, width, height};
    FillRect(dc.get(), &all, GetSysColorBrush(COLOR_3DFACE));
    DrawIconEx(dc.get(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  } else {
    HDC screen = GetDC(nullptr);
    BitBlt(dc.get(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
  }
  GdiFlush();
  auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> out(pixels, pixels + static_cast<std::size_t>(width) * height);
  for (std::uint32_t& p : out) p &= 0x00FFFFFFu;
  SelectObject(dc.get(), old);
  return out;
}

struct Search {
  std::wstring caption;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" && WindowText(hwnd) == search->caption) {
    search->boxes.push_back(hwnd);
  }
  return TRUE;
}

struct Controls {
  int buttons = 0;
  HWND icon = nullptr;
};

BOOL CALLBACK CollectControl(HWND hwnd, LPARAM param) {
  auto* controls = reinterpret_cast<Controls*>(param);
  std::wstring cls = ClassOf(hwnd);
  if (cls == L"Button" && IsWindowVisible(hwnd)) ++controls->buttons;
  if (cls == L"Static" && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    controls->icon = hwnd;
  }
  return TRUE;
}

int DescribeBox(const std::wstring& caption) {
  Search search{caption, {}};
  EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
  Print(L"boxes=" + std::to_wstring(search.boxes.size()));
  if (search.boxes.size() != 1) return 1;
  HWND box = search.boxes[0];
  Controls controls;
  EnumChildWindows(box, CollectControl, reinterpret_cast<LPARAM>(&controls));
  bool topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  Print(std::wstring(L"topmost=") + (topmost ? L"yes" : L"no"));
  Print(std::wstring(L"owner=") + (GetWindow(box, GW_OWNER) ? L"some" : L"none"));
  Print(L"buttons=" + std::to_wstring(controls.buttons));
  std::wstring icon = L"none";
  if (controls.icon) {
    RECT rect{};
    GetWindowRect(controls.icon, &rect);
    std::vector<std::uint32_t> shown = Pixels(rect, nullptr);
    icon = shown.empty()                                                  ? L"unreadable"
           : shown == Pixels(rect, LoadIconW(nullptr, IDI_WARNING))     ? L"warning"
           : shown == Pixels(rect, LoadIconW(nullptr, IDI_INFORMATION)) ? L"information"
                                                                          : L"other";
  }
  Print(L"icon=" + icon);
  HWND text = GetDlgItem(box, 0xFFFF);
  Print(L"text=" + (text ? Escaped(WindowText(text)) : std::wstring(L"<missing>")));
  return 0;
}

std::wstring VersionText(DWORD high, DWORD low) {
  return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
         std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

int DescribeResources(const std::wstring& exe) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  std::vector<unsigned char> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (size == 0 || !GetFileVersionInfoW(exe.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed) {
    Print(L"version=<missing>");
    return 1;
  }
  Print(L"file-version=" + VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
  Print(L"product-version=" + VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS));

  ModuleHandle module(LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  HRSRC found = module ? FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
  HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) {
    Print(L"manifest=<missing>");
    return 1;
  }
  std::string manifest(bytes, SizeofResource(module.get(), found));
  // One line per XML element of interest, as it stands in the manifest.
  for (const char* element : {"<requestedExecutionLevel", "<dpiAware"}) {
    std::size_t at = manifest.find(element);
    std::size_t end = manifest.find('\n', at);
    if (at == std::string::npos) continue;
    std::string line = manifest.substr(at, end == std::string::npos ? std::string::npos : end - at);
    Print(L"manifest=" + std::wstring(line.begin(), line.end()));
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"--resources") return DescribeResources(argv[2]);
  if (argc == 2) return DescribeBox(argv[1]);
  return 2;
}
