// The head of the ACM's driver details record (ACMDRIVERDETAILSA and
// ACMDRIVERDETAILSW begin alike), shared by the Windows helpers of the Wine
// tests. The ACM fills no more of the record than its cbStruct says.
#ifndef ACM_INVENTORY_TESTS_WINE_WINDOWS_DRIVER_DETAILS_H
#define ACM_INVENTORY_TESTS_WINE_WINDOWS_DRIVER_DETAILS_H

#include "acm/acm.h"

#pragma pack(push, 1)
struct DriverDetailsHead {
    DWORD cbStruct;
    DWORD fccType;
    DWORD fccComp;
    WORD wMid;
    WORD wPid;
    DWORD vdwACM;
    DWORD vdwDriver;
    DWORD fdwSupport;
    DWORD cFormatTags;
    DWORD cFilterTags;
};
#pragma pack(pop)

static_assert(sizeof(DriverDetailsHead) == 36, "the head of ACMDRIVERDETAILS is 36 bytes");

#endif  // ACM_INVENTORY_TESTS_WINE_WINDOWS_DRIVER_DETAILS_H
