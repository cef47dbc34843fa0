// acm-inventory: lists every standard format of every compressed format tag
// that the installed ACM codec drivers offer, in "acm.log".
#include "inventory_walk.h"

int main(int /*argc*/, char** /*argv*/) {
    return takeInventory();
}
