#include "monitor/wmi/device_table_posix.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "common/text_util.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A sysfs attribute without its line end; nothing when it cannot be read.
std::optional<std::string> Attribute(const fs::path& dir, const char* name) {
  std::ifstream in(dir / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::string value((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' ' ||
                            value.back() == '\0')) {
    value.pop_back();
  }
  return value;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = FoldCase(c);
  return text;
}

// "0x8086" / "046d" -> "8086" / "046D", padded to `digits`.
std::wstring HexField(const fs::path& dir, const char* name, std::size_t digits) {
  std::string value = Attribute(dir, name).value_or("");
  if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) value.erase(0, 2);
  std::wstring wide = Upper(Utf8ToWide(value));
  if (wide.size() < digits) wide.insert(0, digits - wide.size(), L'0');
  return wide;
}

std::wstring Caption(const fs::path& dir) {
  for (const char* name : {"product", "name", "label"}) {
    if (auto value = Attribute(dir, name); value && !value->empty()) return Utf8ToWide(*value);
  }
  return {};
}

bool HasDriver(const fs::path& dir) {
  std::error_code ec;
  return fs::exists(dir / "driver", ec);
}

std::vector<std::string> SortedEntries(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void AddPciDevices(const fs::path& root, std::vector<PnpEntityRow>& rows) {
  const fs::path bus = root / "bus" / "pci" / "devices";
  for (const std::string& address : SortedEntries(bus)) {
    const fs::path dir = bus / address;
    if (!Attribute(dir, "vendor") || !Attribute(dir, "device")) continue;
    PnpEntityRow row;
    row.deviceId = L"PCI\\VEN_" + HexField(dir, "vendor", 4) + L"&DEV_" + HexField(dir, "device", 4) +
                   L"&SUBSYS_" + HexField(dir, "subsystem_device", 4) + HexField(dir, "subsystem_vendor", 4) +
                   L"&REV_" + HexField(dir, "revision", 2) + L"\\" + Upper(Utf8ToWide(address));
    row.caption = Caption(dir);
    row.status = HasDriver(dir) ? L"OK" : L"Error";
    rows.push_back(std::move(row));
  }
}

void AddUsbDevices(const fs::path& root, std::vector<PnpEntityRow>& rows) {
  const fs::path bus = root / "bus" / "usb" / "devices";
  const std::vector<std::string> names = SortedEntries(bus);
  for (const std::string& port : names) {
    if (port.find(':') != std::string::npos) continue;  // an interface, not a device
    const fs::path dir = bus / port;
    if (!Attribute(dir, "idVendor") || !Attribute(dir, "idProduct")) continue;
    std::string serial = Attribute(dir, "serial").value_or("");
    // The device node itself is always bound to "usb"; the function driver
    // sits on its interfaces "<port>:<config>.<interface>".
    bool bound = false;
    const std::string prefix = port + ":";
    for (const std::string& other : names) {
      if (other.compare(0, prefix.size(), prefix) == 0 && HasDriver(bus / other)) bound = true;
    }
    PnpEntityRow row;
    row.deviceId = L"USB\\VID_" + HexField(dir, "idVendor", 4) + L"&PID_" + HexField(dir, "idProduct", 4) + L"\\" +
                   Utf8ToWide(serial.empty() ? port : serial);
    row.caption = Caption(dir);
    row.status = bound ? L"OK" : L"Error";
    rows.push_back(std::move(row));
  }
}

}  // namespace

std::vector<PnpEntityRow> ReadPnpEntities(const std::wstring& sysfsRoot) {
  const fs::path root(WideToUtf8(sysfsRoot));
  std::vector<PnpEntityRow> rows;
  AddPciDevices(root, rows);
  AddUsbDevices(root, rows);
  return rows;
}

}  // namespace qv
