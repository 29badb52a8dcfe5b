// Stand-ins for a client library, exporting names only; nothing here is ever called.
//   FAKE_CLIENT_PARTIAL: a library that lacks most required entry points.
//   otherwise: an older-generation library with every required entry point and no optional one.

#ifdef FAKE_CLIENT_PARTIAL
extern "C" void isc_attach_database() {}
extern "C" void isc_detach_database() {}
#else
#define IBX_ENTRY(name)                                                                            \
    extern "C" void name() {}
#define IBX_OPTIONAL_ENTRY(name)
#include "db/ClientEntryPoints.inc"
#endif
