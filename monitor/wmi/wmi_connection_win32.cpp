#include "monitor/wmi/wmi_connection_win32.h"

#include <new>
#include <utility>

#include "monitor/wmi/wql.h"

namespace qv {
namespace {

// E_NOINTERFACE gives a null pointer (for Required to turn into E_POINTER);
// any other failure is an error of its own.
template <class T>
ComPtr<T> QueryOrNull(IUnknown* from) {
  ComPtr<T> result;
  HRESULT hr = from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(result.GetAddressOf()));
  if (hr == E_NOINTERFACE) return nullptr;
  ThrowIfFailed(hr);
  return result;
}

// The WMI object an enumerated VARIANT holds, whatever form it came in.
ComPtr<ISWbemObject> ObjectOf(const Variant& item) {
  Variant copy;
  ThrowIfFailed(VariantCopy(copy.Get(), const_cast<VARIANT*>(item.Get())));
  if (copy.Type() == VT_DISPATCH || copy.Type() == VT_UNKNOWN) {
    IUnknown* held = copy.Type() == VT_DISPATCH ? V_DISPATCH(copy.Get()) : V_UNKNOWN(copy.Get());
    if (held == nullptr) throw ComError{E_POINTER};
    return QueryOrNull<ISWbemObject>(held);
  }
  Variant asDispatch;
  ThrowIfFailed(VariantChangeType(asDispatch.Get(), copy.Get(), 0, VT_DISPATCH));
  if (V_DISPATCH(asDispatch.Get()) != nullptr) {
    ComPtr<ISWbemObject> object = QueryOrNull<ISWbemObject>(V_DISPATCH(asDispatch.Get()));
    if (object) return object;
  }
  Variant asUnknown;
  ThrowIfFailed(VariantChangeType(asUnknown.Get(), copy.Get(), 0, VT_UNKNOWN));
  if (V_UNKNOWN(asUnknown.Get()) == nullptr) return nullptr;
  return QueryOrNull<ISWbemObject>(V_UNKNOWN(asUnknown.Get()));
}

ComPtr<ISWbemProperty> Property(ISWbemPropertySet* set, const wchar_t* name) {
  Bstr text(name);
  ComPtr<ISWbemProperty> property;
  ThrowIfFailed(set->Item(text.Get(), 0, property.GetAddressOf()));
  return property;
}

// The text of a property of `properties`; empty when the object has no such
// property or no value for it.
std::wstring OptionalText(ISWbemPropertySet* properties, const wchar_t* name) {
  Bstr text(name);
  ComPtr<ISWbemProperty> property;
  const HRESULT hr = properties->Item(text.Get(), 0, property.GetAddressOf());
  if (hr == static_cast<HRESULT>(kWbemNotFound)) return {};
  ThrowIfFailed(hr);
  Variant value;
  ThrowIfFailed(Required(property)->get_Value(value.Out()));
  if (value.Type() == VT_EMPTY || value.Type() == VT_NULL) return {};
  return VariantText(value);
}

// A fresh instance of the in-parameters of Win32_Process.Create; the method
// set, the method and the parameter class are dropped on the way out.
ComPtr<ISWbemObject> NewInParameters(ISWbemObject* processClass) {
  ComPtr<ISWbemMethodSet> methods;
  ThrowIfFailed(processClass->get_Methods_(methods.GetAddressOf()));
  Bstr name(L"Create");
  ComPtr<ISWbemMethod> create;
  ThrowIfFailed(Required(methods)->Item(name.Get(), 0, create.GetAddressOf()));
  ComPtr<ISWbemObject> parameterClass;
  ThrowIfFailed(Required(create)->get_InParameters(parameterClass.GetAddressOf()));
  ComPtr<ISWbemObject> instance;
  ThrowIfFailed(Required(parameterClass)->SpawnInstance_(0, instance.GetAddressOf()));
  return instance;
}

// A failed write is not looked at: Create runs all the same and tells in its
// ReturnValue what it lacked.
void SetText(ISWbemObject* instance, const wchar_t* name, const std::wstring& text) {
  Variant value;
  value.AssignText(text);
  ComPtr<ISWbemPropertySet> properties;
  ThrowIfFailed(instance->get_Properties_(properties.GetAddressOf()));
  ComPtr<ISWbemProperty> property = Property(Required(properties), name);
  (void)Required(property)->put_Value(value.Get());
}

}  // namespace

// CoCreateInstance, OleRun, QueryInterface: the HRESULT of the first that
// failed, else that of QueryInterface. Raises nothing.
HRESULT ScriptingWmiConnection::CreateLocator() {
  ComPtr<IUnknown> created;
  HRESULT hr = CoCreateInstance(CLSID_SWbemLocator, nullptr, CLSCTX_ALL, IID_IUnknown,
                                reinterpret_cast<void**>(created.GetAddressOf()));
  if (FAILED(hr)) return hr;
  hr = OleRun(created.Get());
  if (FAILED(hr)) return hr;
  return created->QueryInterface(IID_ISWbemLocator, reinterpret_cast<void**>(locator_.GetAddressOf()));
}

bool ScriptingWmiConnection::Connect(QuorvanexServerInfo info) {
  // The strings are made inside the caught section: running out of memory
  // here is an answer (false, E_OUTOFMEMORY), not an escaping exception.
  try {
    Bstr server(info.server);
    Bstr user(info.username);
    Bstr password(info.password);

    locator_.Reset();
    HRESULT hr = CreateLocator();
    if (hr != S_OK) {
      locator_.Reset();
      return Fail(hr);
    }
    Bstr nameSpace(L"root\\cimv2");
    Bstr locale(L"");
    Bstr authority(L"");
    ComPtr<ISWbemServices> opened;
    ThrowIfFailed(locator_->ConnectServer(server.Get(), nameSpace.Get(), user.Get(), password.Get(),
                                          locale.Get(), authority.Get(), wbemConnectFlagUseMaxWait, nullptr,
                                          opened.GetAddressOf()));
    services_ = std::move(opened);
    return services_ != nullptr;
  } catch (const ComError& e) {
    Release();
    return Fail(e.hr);
  } catch (const std::bad_alloc&) {
    Release();
    return Fail(E_OUTOFMEMORY);
  }
}

bool ScriptingWmiConnection::QueryDeviceStatus(const std::wstring& pattern, std::wstring& status) {
  try {
    Bstr query(DeviceQueryText(pattern));
    Bstr language(L"WQL");
    ComPtr<ISWbemObjectSet> set;
    ThrowIfFailed(Required(services_)->ExecQuery(query.Get(), language.Get(), wbemFlagReturnImmediately,
                                                  nullptr, set.GetAddressOf()));
    ComPtr<IUnknown> enumUnknown;
    ThrowIfFailed(Required(set)->get__NewEnum(enumUnknown.GetAddressOf()));
    ComPtr<IEnumVARIANT> items = QueryOrNull<IEnumVARIANT>(Required(enumUnknown));

    Variant item;
    if (Required(items)->Next(1, item.Out(), nullptr) != S_OK) return false;  // nothing matched
    ComPtr<ISWbemObject> object = ObjectOf(item);

    // Only the first object is looked at. Caption is fetched but not read.
    ComPtr<ISWbemPropertySet> properties;
    ThrowIfFailed(Required(object)->get_Properties_(properties.GetAddressOf()));
    ComPtr<ISWbemProperty> caption = Property(Required(properties), L"Caption");
    ComPtr<ISWbemProperty> state = Property(properties.Get(), L"Status");
    Variant value;
    ThrowIfFailed(Required(state)->get_Value(value.Out()));
    if (value.Type() == VT_EMPTY || value.Type() == VT_NULL) return false;
    status = VariantText(value);
    return true;
  } catch (const ComError& e) {
    return Fail(e.hr);
  } catch (const std::bad_alloc&) {
    return Fail(E_OUTOFMEMORY);
  }
}

bool ScriptingWmiConnection::QueryAllDevices(std::vector<DeviceIdAndStatus>& devices) {
  try {
    Bstr query(L"Select DeviceID, Status from Win32_PnPEntity");
    Bstr language(L"WQL");
    ComPtr<ISWbemObjectSet> set;
    ThrowIfFailed(Required(services_)->ExecQuery(query.Get(), language.Get(),
                                                  wbemFlagReturnImmediately | wbemFlagForwardOnly, nullptr,
                                                  set.GetAddressOf()));
    ComPtr<IUnknown> enumUnknown;
    ThrowIfFailed(Required(set)->get__NewEnum(enumUnknown.GetAddressOf()));
    ComPtr<IEnumVARIANT> items = QueryOrNull<IEnumVARIANT>(Required(enumUnknown));
    std::vector<DeviceIdAndStatus> found;
    for (;;) {
      Variant item;
      const HRESULT hr = Required(items)->Next(1, item.Out(), nullptr);
      ThrowIfFailed(hr);
      if (hr != S_OK) break;
      ComPtr<ISWbemObject> object = ObjectOf(item);
      ComPtr<ISWbemPropertySet> properties;
      ThrowIfFailed(Required(object)->get_Properties_(properties.GetAddressOf()));
      // Wine's WMI knows no Status: the row is shown without one.
      found.push_back({OptionalText(Required(properties), L"DeviceID"), OptionalText(properties.Get(), L"Status")});
    }
    devices = std::move(found);
    return true;
  } catch (const ComError& e) {
    return Fail(e.hr);
  } catch (const std::bad_alloc&) {
    return Fail(E_OUTOFMEMORY);
  }
}

bool ScriptingWmiConnection::StartProcess(const std::wstring& commandLine, const std::wstring& currentDirectory,
                                          std::wstring& returnValue) {
  try {
    Bstr className(L"Win32_Process");
    ComPtr<ISWbemObject> processClass;
    ThrowIfFailed(Required(services_)->Get(className.Get(), 0, nullptr, processClass.GetAddressOf()));
    if (!processClass) return false;

    ComPtr<ISWbemObject> in = NewInParameters(processClass.Get());
    if (!in) return false;
    SetText(in.Get(), L"CommandLine", commandLine);
    if (!currentDirectory.empty()) SetText(in.Get(), L"CurrentDirectory", currentDirectory);

    Bstr method(L"Create");
    ComPtr<ISWbemObject> out;
    ThrowIfFailed(services_->ExecMethod(className.Get(), method.Get(), in.Get(), 0, nullptr, out.GetAddressOf()));
    if (!out) return false;
    ComPtr<ISWbemPropertySet> properties;
    ThrowIfFailed(out->get_Properties_(properties.GetAddressOf()));
    ComPtr<ISWbemProperty> result = Property(Required(properties), L"ReturnValue");
    Variant value;
    ThrowIfFailed(Required(result)->get_Value(value.Out()));
    if (value.Type() == VT_EMPTY || value.Type() == VT_NULL) return false;
    returnValue = VariantText(value);
    return true;
  } catch (const ComError& e) {
    return Fail(e.hr);
  } catch (const std::bad_alloc&) {
    return Fail(E_OUTOFMEMORY);
  }
}

std::unique_ptr<WmiConnection> CreateWmiConnection() { return std::make_unique<ScriptingWmiConnection>(); }

}  // namespace qv
