#pragma once
// The Service Control Manager behind SystemServiceManager(): its handles are
// the SC_HANDLEs themselves, so a service opened elsewhere (with other
// rights) can be handed to it; the opener keeps closing it.
#include <windows.h>

#include "configurator/service_restart.h"

namespace qv {

inline SC_HANDLE ToSc(ServiceManager::Handle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
inline ServiceManager::Handle FromSc(SC_HANDLE handle) {
  return reinterpret_cast<ServiceManager::Handle>(handle);
}

}  // namespace qv
