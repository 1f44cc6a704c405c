#include "entry/handlers.h"

const VpiHandler kCommandTable[kCommandSlots + 1] = {
    nullptr,          // 0: no command
    ColdStart,        // 1: ColdStart
    WarmStart,        // 2: WarmStart
    nullptr,          // 3: SingleAddressParser
    nullptr,          // 4: BlockAddressParser
    nullptr,          // 5: SingleRead
    nullptr,          // 6: BlockRead
    nullptr,          // 7: SingleWrite
    nullptr,          // 8: none
    nullptr,          // 9: none
    nullptr,          // 10: BlockWrite
    EndVpi,           // 11: EndVpi
    CloseCom,         // 12: CloseCom
    ReOpenCom,        // 13: ReOpenCom
    GetVpiInfo,       // 14: GetVpiInfo
    ChangeVpiParams,  // 15: ChangeVpiParams
    nullptr,          // 16: BrowseAddress
    nullptr,          // 17: none
};
