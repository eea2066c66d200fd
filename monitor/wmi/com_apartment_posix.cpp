#include "monitor/wmi/com_apartment.h"

namespace qv {

ComApartment::ComApartment() = default;
ComApartment::~ComApartment() = default;

}  // namespace qv
