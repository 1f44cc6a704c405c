#include "entry/handlers.h"

const VpiHandler kCommandTable[kCommandSlots + 1] = {
    nullptr,              // 0: no command
    ColdStart,            // 1
    WarmStart,            // 2
    SingleAddressParser,  // 3
    BlockAddressParser,   // 4
    SingleRead,           // 5
    BlockRead,            // 6
    SingleWrite,          // 7
    nullptr,              // 8: none
    nullptr,              // 9: none
    BlockWrite,           // 10
    EndVpi,               // 11
    CloseCom,             // 12
    ReOpenCom,            // 13
    GetVpiInfo,           // 14
    ChangeVpiParams,      // 15
    BrowseAddress,        // 16
    nullptr,              // 17: none
};
