// The inventory log: "acm.log" in the current working directory, one
// two-line record per listed format, with standard output taking the place of
// any record that cannot be written to the file.
#ifndef ACM_INVENTORY_INVENTORY_LOG_H
#define ACM_INVENTORY_INVENTORY_LOG_H

#include "acm/acm.h"

// Every line this program writes ends in CR LF. Its files and standard
// streams are text streams: the Windows runtime turns "\n" into CR LF by
// itself, other runtimes are handed the CR explicitly.
#ifdef _WIN32
#define ACM_INVENTORY_EOL "\n"
#else
#define ACM_INVENTORY_EOL "\r\n"
#endif

// Creates "acm.log" or truncates it to nothing, and closes it again. If the
// file cannot be opened nothing happens: every record tries it again.
void resetInventoryLog();

// The record writer, handed to acmFormatEnumA. dwInstance is the address of
// the tag name text (ACMFORMATTAGDETAILSA::szFormatTag, read up to its 48
// characters). Opens "acm.log" for appending and, if fdwSupport includes codec
// or converter support, writes the record's driver line and format line. A
// record that cannot be written to the log in full (open, write or close
// fails) goes to standard output. Always returns TRUE.
BOOL CALLBACK formatEnumCallback(HACMDRIVERID hadid, ACMFORMATDETAILSA* pafd, DWORD_PTR dwInstance,
                                 DWORD fdwSupport);

#endif  // ACM_INVENTORY_INVENTORY_LOG_H
