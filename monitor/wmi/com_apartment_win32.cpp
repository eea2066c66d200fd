#include <objbase.h>

#include "monitor/wmi/com_apartment.h"

namespace qv {

// Only a successful CoInitialize (S_OK or S_FALSE) is balanced by CoUninitialize.
ComApartment::ComApartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}

ComApartment::~ComApartment() {
  if (entered_) CoUninitialize();
}

}  // namespace qv
