// Registry entries under HKEY_CLASSES_ROOT.
//
// The entries are written one by one rather than through RegisterTypeLib, so
// that the type library is registered under locale 0 as the host expects and
// so that unregistration removes exactly these keys and nothing of the
// imported libraries (DAO's own Interface and TypeLib keys stay untouched).
//
// Written for each class C with CLSID {c} and default interface I with IID
// {i}, the type library having LIBID {l}:
//   Kestle.C                        = "C"; CLSID = {c}
//   CLSID\{c}                       = "Kestle.C"
//   CLSID\{c}\InprocServer32        = <dll path>; ThreadingModel = "Apartment"
//   CLSID\{c}\ProgID                = "Kestle.C"
//   CLSID\{c}\TypeLib               = {l};  CLSID\{c}\VERSION = "1.0"
//   Interface\{i}                   = "I"
//   Interface\{i}\ProxyStubClsid, ProxyStubClsid32 = the automation marshaler
//   Interface\{i}\TypeLib           = {l}; Version = "1.0"
// and once:
//   TypeLib\{l}\1.0                 = the library's help string
//   TypeLib\{l}\1.0\0\win32|win64   = <dll path>
//   TypeLib\{l}\1.0\FLAGS = "0";  TypeLib\{l}\1.0\HELPDIR = <dll folder>
// Unregistration removes the win32|win64 entry, and the version key with
// FLAGS and HELPDIR only when no other platform's entry is left under it.
#include "component/com/registration.h"

#include <string>

#include <wrl/client.h>

#include "component/com/module.h"
#include "component/com/objects.h"

namespace kestle::com {

namespace {

// The library's identity, as in kestle.idl.
constexpr const wchar_t* kLibId = L"{C5A5061F-8062-4236-9E34-F366A8C90008}";
constexpr const wchar_t* kLibVersion = L"1.0";
constexpr const wchar_t* kLibHelpString = L"Orvanta Kestle ActiveX Component";
// The standard marshaler of oleautomation interfaces (PSOAInterface).
constexpr const wchar_t* kAutomationMarshaler = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* kThreadingModel = L"Apartment";
#ifdef _WIN64
constexpr const wchar_t* kPlatformKey = L"win64";
#else
constexpr const wchar_t* kPlatformKey = L"win32";
#endif

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring TypeLibKey() { return std::wstring(L"TypeLib\\") + kLibId; }
std::wstring VersionKey() { return TypeLibKey() + L"\\" + kLibVersion; }
std::wstring ClassKey(const ClassInfo& c) { return L"CLSID\\" + GuidText(*c.clsid); }
std::wstring InterfaceKey(const ClassInfo& c) { return L"Interface\\" + GuidText(*c.iid); }

// Sets value `name` (null: the key's default value) of key `path` under
// HKEY_CLASSES_ROOT, creating the key.
HRESULT SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

// Deletes key `path` and everything below it; a missing key is no error.
HRESULT DeleteTree(const std::wstring& path) {
  LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  }
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(rc);
}

// The number of subkeys and values of key `path`; false when it cannot be
// read (a missing key, for one).
bool CountEntries(const std::wstring& path, DWORD* subkeys, DWORD* values) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                             nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool KeyExists(const std::wstring& path) { return CountEntries(path, nullptr, nullptr); }

// Deletes key `path` only when nothing is left under it (another version
// of the library may still be registered there).
void DeleteIfEmpty(const std::wstring& path) {
  DWORD subkeys = 0, values = 0;
  if (CountEntries(path, &subkeys, &values) && subkeys == 0 && values == 0) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  }
}

// Removes this platform's registration of the type library version. The
// version key, its FLAGS and HELPDIR go only with the last platform entry:
// the TypeLib key is shared by the 32-bit and 64-bit builds of the library,
// which register the same version side by side (0\win32 and 0\win64).
HRESULT UnregisterTypeLibVersion() {
  const std::wstring version_key = VersionKey();
  const std::wstring locale_key = version_key + L"\\0";
  HRESULT hr = DeleteTree(locale_key + L"\\" + kPlatformKey);
  DeleteIfEmpty(locale_key);
  DWORD subkeys = 0, values = 0;
  if (!CountEntries(version_key, &subkeys, &values)) return hr;
  // Left under the version key: FLAGS and HELPDIR, and any other platform's
  // or locale's entry.
  const DWORD own_subkeys = (KeyExists(version_key + L"\\FLAGS") ? 1 : 0) +
                            (KeyExists(version_key + L"\\HELPDIR") ? 1 : 0);
  if (subkeys == own_subkeys) {
    HRESULT removed = DeleteTree(version_key);
    if (SUCCEEDED(hr)) hr = removed;
  }
  return hr;
}

HRESULT RegisterClass(const ClassInfo& c, const std::wstring& dll_path) {
  const std::wstring clsid = GuidText(*c.clsid);
  const std::wstring class_key = ClassKey(c);
  const std::wstring interface_key = InterfaceKey(c);
  const std::wstring prog_id = c.prog_id;
  HRESULT hr = S_OK;
  // Stops at the first failure; the later writes are skipped.
  auto set = [&hr](const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    if (SUCCEEDED(hr)) hr = SetValue(path, name, value);
  };
  set(prog_id, nullptr, c.name);
  set(prog_id + L"\\CLSID", nullptr, clsid);
  set(class_key, nullptr, prog_id);
  set(class_key + L"\\InprocServer32", nullptr, dll_path);
  set(class_key + L"\\InprocServer32", L"ThreadingModel", kThreadingModel);
  set(class_key + L"\\ProgID", nullptr, prog_id);
  set(class_key + L"\\TypeLib", nullptr, kLibId);
  set(class_key + L"\\VERSION", nullptr, kLibVersion);
  set(interface_key, nullptr, c.interface_name);
  set(interface_key + L"\\ProxyStubClsid", nullptr, kAutomationMarshaler);
  set(interface_key + L"\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
  set(interface_key + L"\\TypeLib", nullptr, kLibId);
  set(interface_key + L"\\TypeLib", L"Version", kLibVersion);
  return hr;
}

}  // namespace

HRESULT RegisterServer() {
  const std::wstring dll_path = ModulePath();
  if (dll_path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  // Refuse to register a library whose type library cannot be loaded.
  Microsoft::WRL::ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(dll_path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;

  const std::wstring folder = dll_path.substr(0, dll_path.find_last_of(L'\\') + 1);
  const std::wstring version_key = VersionKey();
  hr = SetValue(version_key, nullptr, kLibHelpString);
  if (SUCCEEDED(hr)) hr = SetValue(version_key + L"\\0\\" + kPlatformKey, nullptr, dll_path);
  if (SUCCEEDED(hr)) hr = SetValue(version_key + L"\\FLAGS", nullptr, L"0");
  if (SUCCEEDED(hr)) hr = SetValue(version_key + L"\\HELPDIR", nullptr, folder);
  for (const ClassInfo& c : kClasses) {
    if (SUCCEEDED(hr)) hr = RegisterClass(c, dll_path);
  }
  return hr;
}

HRESULT UnregisterServer() {
  HRESULT first_failure = S_OK;
  auto remove = [&first_failure](const std::wstring& path) {
    HRESULT hr = DeleteTree(path);
    if (FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
  };
  for (const ClassInfo& c : kClasses) {
    remove(c.prog_id);
    remove(ClassKey(c));
    remove(InterfaceKey(c));
  }
  HRESULT hr = UnregisterTypeLibVersion();
  if (FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
  DeleteIfEmpty(TypeLibKey());
  return first_failure;
}

}  // namespace kestle::com
