// The inventory walk: every enabled ACM driver with codec support, each of
// its compressed format tags with standard formats, and each standard format
// of such a tag, handed to the record writer of the inventory log.
#ifndef ACM_INVENTORY_INVENTORY_WALK_H
#define ACM_INVENTORY_INVENTORY_WALK_H

#include "acm/acm.h"

// The whole run: resets the log, then walks every enabled driver. Returns the
// exit status, which is 0 whatever failed on the way.
int takeInventory();

// Handed to acmDriverEnum. Visits a driver with codec support: opens it, walks
// its format tags and closes it again. A driver that cannot be opened is
// passed over silently. Always returns TRUE.
BOOL CALLBACK driverEnumCallback(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD fdwSupport);

// Handed to acmFormatTagEnumA. Lists the formats of a tag above PCM that has
// standard formats, if fdwSupport includes codec support. Always returns TRUE.
BOOL CALLBACK formatTagEnumCallback(HACMDRIVERID hadid, ACMFORMATTAGDETAILSA* paftd,
                                    DWORD_PTR dwInstance, DWORD fdwSupport);

// Opens the driver a second time and has the ACM hand every standard format
// of dwFormatTag to the record writer, with tagName (a 48-character field, not
// necessarily terminated) as the name of every record. Reports a refused open
// or a failed buffer allocation on standard error and lists nothing then.
void listTagFormats(HACMDRIVERID hadid, DWORD dwFormatTag, const char* tagName);

#endif  // ACM_INVENTORY_INVENTORY_WALK_H
