// Helpers of the Wine test client.
#include "component/com/test/test_util.h"

#include "component/com/test/fake_dao.h"

namespace kestle::com::test {

Outcome::~Outcome() {
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

std::string Outcome::Description() const {
  if (excep.bstrDescription == nullptr) return std::string();
  return Utf8(std::wstring(excep.bstrDescription, SysStringLen(excep.bstrDescription)));
}

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* hr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr != nullptr) *hr = result;
  return SUCCEEDED(result) ? id : DISPID_UNKNOWN;
}

std::unique_ptr<Outcome> InvokeId(IDispatch* object, DISPID id, Args args, WORD flags) {
  // Invoke takes the arguments last first.
  std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  auto outcome = std::make_unique<Outcome>();
  outcome->hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &outcome->value,
                               &outcome->excep, &outcome->arg_err);
  return outcome;
}

std::unique_ptr<Outcome> InvokeName(IDispatch* object, const wchar_t* name, Args args, WORD flags) {
  HRESULT hr = S_OK;
  DISPID id = IdOf(object, name, &hr);
  if (FAILED(hr)) {
    auto outcome = std::make_unique<Outcome>();
    outcome->hr = hr;
    return outcome;
  }
  return InvokeId(object, id, std::move(args), flags);
}

namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::vector<Box> TakeBoxes(const std::wstring& path) {
  std::string bytes = ReadFileBytes(path);
  DeleteFileW(path.c_str());
  std::vector<Box> boxes;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    size_t tab1 = line.find('\t');
    size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    Box box;
    box.style = static_cast<unsigned>(std::stoul(line.substr(0, tab1)));
    box.title = Unescape(line.substr(tab1 + 1, tab2 - tab1 - 1));
    box.text = Unescape(line.substr(tab2 + 1));
    boxes.push_back(box);
  }
  return boxes;
}

std::string ReadFileBytes(const std::wstring& path, bool* ok) {
  if (ok != nullptr) *ok = false;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
  CloseHandle(h);
  if (ok != nullptr) *ok = true;
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  return ok && n == bytes.size();
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DATE MakeDate(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute);
  t.wSecond = static_cast<WORD>(second);
  DATE date = 0;
  SystemTimeToVariantTime(&t, &date);
  return date;
}

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring KeyValue(const std::wstring& path, const wchar_t* name) {
  wchar_t buf[2048] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return buf;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace kestle::com::test
