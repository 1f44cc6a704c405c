#include "entry/handlers.h"

const VpiHandler kCommandTable[kCommandSlots + 1] = {
    nullptr,          // 0: no command
    nullptr,          // 1: ColdStart
    nullptr,          // 2: WarmStart
    nullptr,          // 3: SingleAddressParser
    nullptr,          // 4: BlockAddressParser
    nullptr,          // 5: SingleRead
    nullptr,          // 6: BlockRead
    nullptr,          // 7: SingleWrite
    nullptr,          // 8: none
    nullptr,          // 9: none
    nullptr,          // 10: BlockWrite
    nullptr,          // 11: EndVpi
    nullptr,          // 12: CloseCom
    nullptr,          // 13: ReOpenCom
    GetVpiInfo,       // 14: GetVpiInfo
    nullptr,          // 15: ChangeVpiParams
    BrowseAddress,    // 16: BrowseAddress
    nullptr,          // 17: none
};
