// The DLL's own entry: libxml2, linked in with native threads, keeps a state
// for each thread that uses it and frees it only when told the thread ended.
#include <windows.h>

#include <libxml/xmlversion.h>

// Built into libxml2 by LIBXML_STATIC_FOR_DLL; its header declares it only
// while the library itself is compiled.
extern "C" int XMLCALL xmlDllMain(void* instance, unsigned long reason, void* reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  xmlDllMain(instance, reason, reserved);
  return TRUE;
}
