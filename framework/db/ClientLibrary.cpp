#include "ClientLibrary.h"

#include "IBErrors.h"

#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ibx {
namespace {

const char* const kLibraryNotFound = "InterBase library gds32.dll not found in the path. Please "
                                     "install InterBase to use this functionality";

// Stands in for an entry point the loaded library lacks: calling it raises instead of jumping
// through a null pointer. Name supplies the entry point's name for the message.
template <typename Name, typename Fn> struct MissingEntry;

template <typename Name, typename R, typename... A>
struct MissingEntry<Name, R(ISC_EXPORT*)(A...)> {
    static R ISC_EXPORT Call(A...) {
        throw EIBClientError(std::string(Name::text) +
                             " is an InterBase 6 function. Please upgrade to InterBase 6 to use "
                             "this functonality");
    }
};

#define IBX_ENTRY(name)                                                                            \
    struct Name_##name {                                                                           \
        static constexpr const char* text = #name;                                                 \
    };
#define IBX_OPTIONAL_ENTRY(name) IBX_ENTRY(name)
#include "ClientEntryPoints.inc"
#undef IBX_OPTIONAL_ENTRY
#undef IBX_ENTRY

#ifdef _WIN32
using LibraryHandle = HMODULE;

LibraryHandle OpenLibrary(const char* fileName) {
    return ::LoadLibraryA(fileName);
}
void CloseLibrary(LibraryHandle library) {
    ::FreeLibrary(library);
}
void* FindSymbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(library, name));
}

[[noreturn]] void RaiseMissingEntry(const char*) {
    const DWORD code = ::GetLastError();
    char* text = nullptr;
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string description = text ? text : "";
    if (text)
        ::LocalFree(text);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
    throw vcl::EOSError(static_cast<int>(code), description);
}
#else
using LibraryHandle = void*;

LibraryHandle OpenLibrary(const char* fileName) {
    return ::dlopen(fileName, RTLD_NOW);
}
void CloseLibrary(LibraryHandle library) {
    ::dlclose(library);
}
void* FindSymbol(LibraryHandle library, const char* name) {
    ::dlerror();
    return ::dlsym(library, name);
}

// dlsym has no error number; 127 is the code Windows gives for a missing procedure.
[[noreturn]] void RaiseMissingEntry(const char* name) {
    const char* text = ::dlerror();
    throw vcl::EOSError(127, text ? text : std::string("undefined symbol: ") + name);
}
#endif

// Closes the library unless the caller keeps it; entry points must not outlive it.
struct LibraryGuard {
    LibraryHandle library;
    ~LibraryGuard() {
        if (library)
            CloseLibrary(library);
    }
};

template <typename Fn> Fn Cast(void* symbol) {
    return reinterpret_cast<Fn>(symbol);
}

std::mutex loadMutex;
ClientApi loadedApi;
bool loaded = false;
ClientLoadHook loadHook = nullptr;

} // namespace

ClientApi LoadClientLibraryFrom(const char* fileName) {
    LibraryGuard guard{OpenLibrary(fileName)};
    if (!guard.library)
        throw EIBClientError(kLibraryNotFound);

    ClientApi api;
    void* symbol = nullptr;
#define IBX_ENTRY(name)                                                                            \
    symbol = FindSymbol(guard.library, #name);                                                     \
    if (!symbol)                                                                                   \
        RaiseMissingEntry(#name);                                                                  \
    api.name = Cast<decltype(api.name)>(symbol);
#define IBX_OPTIONAL_ENTRY(name)                                                                   \
    symbol = FindSymbol(guard.library, #name);                                                     \
    api.name = symbol ? Cast<decltype(api.name)>(symbol)                                           \
                      : &MissingEntry<Name_##name, decltype(api.name)>::Call;
#include "ClientEntryPoints.inc"
#undef IBX_OPTIONAL_ENTRY
#undef IBX_ENTRY

    // Kept to the end of the process: the returned pointers lead into it.
    guard.library = nullptr;
    return api;
}

const ClientApi& LoadClientLibrary() {
    ClientLoadHook hook = nullptr;
    {
        std::lock_guard<std::mutex> lock(loadMutex);
        if (loaded)
            return loadedApi;
        loadedApi = LoadClientLibraryFrom(IBX_CLIENT_LIBRARY);
        loaded = true;
        hook = loadHook;
    }
    // Outside the lock: the hook may call into the library through Api().
    if (hook)
        hook(loadedApi);
    return loadedApi;
}

void SetClientLoadHook(const ClientLoadHook hook) {
    {
        std::lock_guard<std::mutex> lock(loadMutex);
        loadHook = hook;
        if (!loaded)
            return;
    }
    if (hook)
        hook(loadedApi);
}

const ClientApi& Api() {
    {
        std::lock_guard<std::mutex> lock(loadMutex);
        if (loaded)
            return loadedApi;
    }
    // Load on first use rather than call through null pointers.
    return LoadClientLibrary();
}

} // namespace ibx
