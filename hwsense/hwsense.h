/* libHwSense.so: the hardware recognition library.
 *
 * Load it by name ("libHwSense.so", found beside the program), look up one entry point, call it,
 * copy the text, unload the library. The entry points take no arguments.
 *
 *   _GetHwList         the hardware list text: per device a line with its description, then
 *                      the TAB-indented sections HardwareID, Compatible HWID, Manufacturers,
 *                      InstallState, Driver GUID, Device Class, Connection bus, Class GUID and,
 *                      with a driver, Matching HWID, Driver date, Driver Version
 *   _HwList            every hardware ID of every present device, one per line
 *   _HwCompatibleList  every compatible ID of every present device, one per line
 *   _ShowHwListModal   the device list viewer (not in this build)
 *
 * Results. Every line ends with CR LF; the text ends with a zero byte. Each call returns a new
 * buffer that belongs to the library: do not free or change it. It stays valid until the
 * library is unloaded, and later calls do not disturb it.
 *   - null:               the device enumeration could not start (no readable sysfs);
 *   - "" (only the zero): enumeration ran and found no device;
 *   - a failed call throws a C++ exception derived from std::exception through the entry point
 *     (the library and its callers are built by the same compiler and runtime). Catch
 *     std::exception around the call, and let the exception go (leave the handler) before the
 *     library is unloaded: its message and type live in the library.
 *
 * Input. The library reads the machine below the root folder "/", or below the folder named by
 * the environment variable HWSENSE_ROOT when it is set: a tree laid out like a root (sys/,
 * proc/cpuinfo, proc/sys/kernel/osrelease and version, lib/modules/<release>/, the ids files in
 * usr/share/misc/ or usr/share/hwdata/), as scripts/capture-hw makes it. An HWSENSE_ROOT that
 * names no folder makes every call fail.
 */
#ifndef HWSENSE_HWSENSE_H
#define HWSENSE_HWSENSE_H

#define HWSENSE_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

HWSENSE_EXPORT const char* _GetHwList(void);
HWSENSE_EXPORT const char* _HwList(void);
HWSENSE_EXPORT const char* _HwCompatibleList(void);

/* The type of the three list entry points, for lookups by name. */
typedef const char* (*HwSenseListCall)(void);

#ifdef __cplusplus
}
#endif

#endif
