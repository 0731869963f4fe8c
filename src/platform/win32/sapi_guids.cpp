// The GUIDs of SAPI's interfaces and classes, defined once for the program:
// mingw-w64's uuid library does not hold them.
#include <windows.h>
// (windows.h, then initguid.h, then the headers whose GUIDs are defined.)
#include <initguid.h>
#include <sapi.h>
