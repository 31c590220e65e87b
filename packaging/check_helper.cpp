// The release checks' helper, for what the command line of Windows cannot do:
//
// check_helper create PROGID
//   Creates the plug-in through COM by its ProgID, as the client does, and prints what it tells
//   about itself:
//     clsid {...}            what the ProgID names
//     name NAME              Register's Name, Company and Description
//     company COMPANY
//     description TEXT
//     commands FILE VERSION  AddCommands' command file and command version
//   The plug-in's construction creates the client's session collection (HostSessionsClass);
//   this program stands in for the client with a collection that has no sessions, which is all
//   that construction, Register and AddCommands need.
//
// check_helper block-user-key NAME
//   Creates the volatile key HKEY_CURRENT_USER\Software\Classes\NAME, under which no lasting
//   key can be made, so that a registration for the current user that needs one fails. The key
//   lasts until it is deleted or the registry is reloaded.
//
// check_helper keys KEY...
//   Prints each KEY that exists, one a line, as it was given (HKCU\..., HKLM\... or HKCR\...).
// check_helper copy-keys FROM TO NAME...
//   Copies the tree FROM\NAME to TO\NAME for each NAME that FROM holds, and prints those names.
// check_helper delete-keys KEY...
//   Deletes each KEY with all below it; one that is missing is no failure.
// One program for many keys: under Wine in the emulated machine, each reg.exe is a second's
// start-up.
//
// Exit status 0, 1 with one line on standard error, 2 for a wrong command line. It depends on
// nothing of the build but the identifiers and slot order of the client's interfaces.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

// The client's interfaces have external linkage: in an unnamed namespace, no class that this
// file does not define could implement ZmudPlugin, and GCC turns the calls through it into
// calls to nowhere.

// The client's session collection: IDispatch, nine reserved slots, Count, Item.
struct HostSessions : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Reserved1() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved2() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(long index, IDispatch** session) = 0;
};

// The client's plug-in interface, as far as this program calls it: its first five slots.
struct ZmudPlugin : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Register(BSTR* name, BSTR* company, BSTR* description,
                                               BSTR* version, BSTR* help_file,
                                               VARIANT_BOOL* load_definitions) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(long* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Init() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddCommands(BSTR* file_name, long* command_version) = 0;
};

namespace {

// {0D271ED8-CA95-499F-9954-44076156E1A7}
constexpr CLSID kHostSessionsClass = {
    0x0D271ED8, 0xCA95, 0x499F, {0x99, 0x54, 0x44, 0x07, 0x61, 0x56, 0xE1, 0xA7}};
// {1FEA6972-FA6D-42BF-9559-A485E91C7515}
constexpr IID kHostSessions = {
    0x1FEA6972, 0xFA6D, 0x42BF, {0x95, 0x59, 0xA4, 0x85, 0xE9, 0x1C, 0x75, 0x15}};
// {0999FEED-10E6-4424-A706-A28731686853}
constexpr IID kZmudPlugin = {
    0x0999FEED, 0x10E6, 0x4424, {0xA7, 0x06, 0xA2, 0x87, 0x31, 0x68, 0x68, 0x53}};

// One static object serves as collection and as its own class object: this process makes one
// plug-in and ends.
class EmptySessions final : public HostSessions {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, kHostSessions)) {
            *object = static_cast<HostSessions*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Reserved1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved2() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(long, IDispatch** session) override {
        if (session != nullptr) {
            *session = nullptr;
        }
        return E_INVALIDARG;
    }
};

class EmptySessionsFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return sessions_.QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    EmptySessions sessions_;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : text_(::SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(text_); }
    BSTR* put() {
        ::SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    std::wstring text() const { return text_ ? std::wstring(text_, ::SysStringLen(text_)) : L""; }

  private:
    BSTR text_ = nullptr;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          size, nullptr, nullptr);
    return narrow;
}

int Fail(const char* step, HRESULT result) {
    std::fprintf(stderr, "check_helper: %s failed: 0x%08lX\n", step,
                 static_cast<unsigned long>(result));
    return 1;
}

int CreateAndDescribe(const wchar_t* prog_id) {
    CLSID clsid = {};
    HRESULT result = ::CLSIDFromProgID(prog_id, &clsid);
    if (FAILED(result)) {
        return Fail("CLSIDFromProgID", result);
    }
    wchar_t clsid_text[40] = {};
    ::StringFromGUID2(clsid, clsid_text, 40);
    std::printf("clsid %s\n", Utf8(clsid_text).c_str());

    ZmudPlugin* plugin = nullptr;
    result = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kZmudPlugin,
                                reinterpret_cast<void**>(&plugin));
    if (FAILED(result)) {
        return Fail("CoCreateInstance", result);
    }

    Bstr name, company, description, help_file;
    Bstr version(L"");
    VARIANT_BOOL load_definitions = VARIANT_FALSE;
    result = plugin->Register(name.put(), company.put(), description.put(), version.put(),
                              help_file.put(), &load_definitions);
    if (FAILED(result)) {
        plugin->Release();
        return Fail("Register", result);
    }
    std::printf("name %s\ncompany %s\ndescription %s\n", Utf8(name.text()).c_str(),
                Utf8(company.text()).c_str(), Utf8(description.text()).c_str());

    Bstr command_file;
    long command_version = 0;
    result = plugin->AddCommands(command_file.put(), &command_version);
    plugin->Release();
    if (FAILED(result)) {
        return Fail("AddCommands", result);
    }
    std::printf("commands %s %ld\n", Utf8(command_file.text()).c_str(), command_version);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int Create(const wchar_t* prog_id) {
    EmptySessionsFactory factory;
    DWORD cookie = 0;
    const HRESULT result = ::CoRegisterClassObject(kHostSessionsClass, &factory,
                                                   CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                                   REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(result)) {
        return Fail("registering the session collection", result);
    }
    const int status = CreateAndDescribe(prog_id);
    ::CoRevokeClassObject(cookie);
    return status;
}

int BlockUserKey(const wchar_t* name) {
    const std::wstring path = std::wstring(L"Software\\Classes\\") + name;
    HKEY key = nullptr;
    const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_READ, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return Fail("creating the volatile key", HRESULT_FROM_WIN32(status));
    }
    ::RegCloseKey(key);
    return 0;
}

// A registry key opened by its full name (HKCU\..., HKLM\... or HKCR\...), closed when done.
class Key {
  public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    // ERROR_FILE_NOT_FOUND when the key is missing; ERROR_BAD_PATHNAME when the name names no
    // hive.
    LSTATUS Open(const std::wstring& path, REGSAM access, bool create = false) {
        const std::size_t slash = path.find(L'\\');
        const std::wstring hive_name = path.substr(0, slash);
        HKEY hive = nullptr;
        if (hive_name == L"HKCU" || hive_name == L"HKEY_CURRENT_USER") {
            hive = HKEY_CURRENT_USER;
        } else if (hive_name == L"HKLM" || hive_name == L"HKEY_LOCAL_MACHINE") {
            hive = HKEY_LOCAL_MACHINE;
        } else if (hive_name == L"HKCR" || hive_name == L"HKEY_CLASSES_ROOT") {
            hive = HKEY_CLASSES_ROOT;
        }
        if (hive == nullptr || slash == std::wstring::npos || slash + 1 == path.size()) {
            return ERROR_BAD_PATHNAME;
        }
        const wchar_t* below = path.c_str() + slash + 1;
        return create
                   ? ::RegCreateKeyExW(hive, below, 0, nullptr, 0, access, nullptr, &key_, nullptr)
                   : ::RegOpenKeyExW(hive, below, 0, access, &key_);
    }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

int FailOn(const std::wstring& what, LSTATUS status) {
    return Fail(Utf8(what).c_str(), HRESULT_FROM_WIN32(status));
}

int PrintExistingKeys(int count, wchar_t** paths) {
    for (int index = 0; index < count; ++index) {
        Key key;
        const LSTATUS status = key.Open(paths[index], KEY_READ);
        if (status == ERROR_SUCCESS) {
            std::printf("%s\n", Utf8(paths[index]).c_str());
        } else if (status != ERROR_FILE_NOT_FOUND) {
            // A key that could not be read is not known to be missing.
            return FailOn(std::wstring(L"opening ") + paths[index], status);
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int CopyKeys(const std::wstring& from, const std::wstring& to, int count, wchar_t** names) {
    for (int index = 0; index < count; ++index) {
        const std::wstring source_path = from + L"\\" + names[index];
        const std::wstring target_path = to + L"\\" + names[index];
        Key source;
        LSTATUS status = source.Open(source_path, KEY_READ);
        if (status == ERROR_FILE_NOT_FOUND) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return FailOn(L"opening " + source_path, status);
        }
        Key target;
        status = target.Open(target_path, KEY_ALL_ACCESS, true);
        if (status != ERROR_SUCCESS) {
            return FailOn(L"creating " + target_path, status);
        }
        status = ::RegCopyTreeW(source.get(), nullptr, target.get());
        if (status != ERROR_SUCCESS) {
            return FailOn(L"copying " + source_path, status);
        }
        std::printf("%s\n", Utf8(names[index]).c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int DeleteKeys(int count, wchar_t** paths) {
    for (int index = 0; index < count; ++index) {
        const std::wstring path = paths[index];
        const std::size_t last = path.rfind(L'\\');
        Key parent;
        LSTATUS status = last == std::wstring::npos
                             ? ERROR_BAD_PATHNAME
                             : parent.Open(path.substr(0, last), KEY_ALL_ACCESS);
        if (status == ERROR_SUCCESS) {
            status = ::RegDeleteTreeW(parent.get(), path.c_str() + last + 1);
        }
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return FailOn(L"deleting " + path, status);
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"block-user-key") == 0) {
        return BlockUserKey(argv[2]);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"keys") == 0) {
        return PrintExistingKeys(argc - 2, argv + 2);
    }
    if (argc >= 5 && std::wcscmp(argv[1], L"copy-keys") == 0) {
        return CopyKeys(argv[2], argv[3], argc - 4, argv + 4);
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"delete-keys") == 0) {
        return DeleteKeys(argc - 2, argv + 2);
    }
    if (argc != 3 || std::wcscmp(argv[1], L"create") != 0) {
        std::fprintf(stderr,
                     "usage: check_helper create PROGID | block-user-key NAME | keys KEY... "
                     "| copy-keys FROM TO NAME... | delete-keys KEY...\n");
        return 2;
    }
    const HRESULT initialised = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialised)) {
        return Fail("CoInitializeEx", initialised);
    }
    const int status = Create(argv[2]);
    ::CoUninitialize();
    return status;
}
