#pragma once
// The client library, loaded at run time by its bare file name and kept to the end of the
// process, with every entry point this layer calls resolved once into a typed pointer.

#include <ibase.h>

namespace ibx {

/// Typed entry points of the client library; each member bears the function's own name.
struct ClientApi {
#define IBX_ENTRY(name) decltype(&::name) name = nullptr;
#include "ClientEntryPoints.inc"
#undef IBX_ENTRY
};

/// Loads the library named by the build setting the first time and returns its entry points.
/// Throws EIBClientError when the library cannot be loaded, EOSError when a required entry point
/// is missing; a later call tries again.
const ClientApi& LoadClientLibrary();

/// The entry points; loads the library first when no TIBDatabase has done so yet.
const ClientApi& Api();

/// Loads the library `fileName` afresh, without caching; for tests of the loader's failures.
ClientApi LoadClientLibraryFrom(const char* fileName);

/// Called with the entry points once LoadClientLibrary has loaded the library; must not raise.
using ClientLoadHook = void (*)(const ClientApi&);
/// Sets the one load hook (null clears it); runs it at once when the library is loaded already.
void SetClientLoadHook(ClientLoadHook hook);

} // namespace ibx
