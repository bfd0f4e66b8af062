// Calling convention of every host-facing operation table.
//
// The host calls plug-in operations (and the plug-in calls host operations)
// with the standard-call convention on 32-bit Windows: the callee removes the
// arguments.  Elsewhere there is only one convention, so the macro is empty.
#pragma once

#if defined(_WIN32) && defined(__i386__)
#define VXAPI __stdcall
#define VXCDECL __cdecl
#else
#define VXAPI
#define VXCDECL
#endif

// Symbols exported from a plug-in library.  Windows builds name their exports
// in a module-definition file, which also gives them their decorated names.
#if defined(_WIN32)
#define VXEXPORT
#else
#define VXEXPORT __attribute__((visibility("default")))
#endif
