// The platform's PC/SC library, bound by name at run time: nothing of it is linked, so the
// library loads (and every other export works) on a machine that has no PC/SC service.
// Types and constants come from the platform's own header, so their widths are the
// platform's (pcsc-lite's DWORD and LONG are unsigned long and long; WinSCard's are 32-bit).
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <winscard.h>
#else
#include <PCSC/winscard.h>
#endif

namespace quillon {

// The entry points the card transport uses; every member is set by PCSC_Load.
struct PcscLibrary {
    void* module;
    decltype(&::SCardEstablishContext) establish_context;
#if defined(_WIN32)
    decltype(&::SCardListReadersA) list_readers;
    decltype(&::SCardConnectA) connect;
#else
    decltype(&::SCardListReaders) list_readers;
    decltype(&::SCardConnect) connect;
#endif
    decltype(&::SCardTransmit) transmit;
    decltype(&::SCardDisconnect) disconnect;
    decltype(&::SCardReleaseContext) release_context;
    const SCARD_IO_REQUEST* t0_pci;
    const SCARD_IO_REQUEST* t1_pci;
};

// Loads the library and looks up every entry point: 1, or 0 with nothing held when the
// library or any one name is missing.
int PCSC_Load(PcscLibrary* library);
// Releases the module; the record is emptied. An empty record is left alone.
void PCSC_Unload(PcscLibrary* library);

// Test hook: the file name PCSC_Load opens from now on; null restores the platform's name.
void PCSC_SetLibraryName(const char* name);

}  // namespace quillon
