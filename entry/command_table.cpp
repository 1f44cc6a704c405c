// The command table: each slot decodes the host's request into what its
// handler takes (the instance, the command's parameter record, the driver
// number), once, and calls it.

#include "entry/handlers.h"

namespace kovrin {

namespace {

VpiInstance* InstanceOf(const VpiRequest* request) { return static_cast<VpiInstance*>(request->instance); }

template <typename Params>
Params* ParamsOf(const VpiRequest* request) {
  return static_cast<Params*>(request->params);
}

int32_t RunColdStart(VpiRequest* r) {
  return ColdStart(InstanceOf(r), ParamsOf<const ColdStartParams>(r), r->driverNumber);
}
int32_t RunWarmStart(VpiRequest* r) { return WarmStart(InstanceOf(r)); }
int32_t RunSingleAddressParser(VpiRequest* r) {
  return SingleAddressParser(InstanceOf(r), ParamsOf<ParseRequest>(r));
}
int32_t RunBlockAddressParser(VpiRequest* r) {
  return BlockAddressParser(InstanceOf(r), ParamsOf<ParseRequest>(r));
}
int32_t RunSingleRead(VpiRequest* r) { return SingleRead(InstanceOf(r), ParamsOf<const GateTransfer>(r)); }
int32_t RunBlockRead(VpiRequest* r) { return BlockRead(InstanceOf(r), ParamsOf<const GateTransfer>(r)); }
int32_t RunSingleWrite(VpiRequest* r) {
  return SingleWrite(InstanceOf(r), ParamsOf<const GateTransfer>(r), r->driverNumber);
}
int32_t RunBlockWrite(VpiRequest* r) { return BlockWrite(InstanceOf(r), ParamsOf<const GateTransfer>(r)); }
int32_t RunEndVpi(VpiRequest* r) { return EndVpi(InstanceOf(r)); }
int32_t RunCloseCom(VpiRequest* r) { return CloseCom(InstanceOf(r)); }
int32_t RunReOpenCom(VpiRequest* r) { return ReOpenCom(InstanceOf(r), r->driverNumber); }
int32_t RunGetVpiInfo(VpiRequest* r) { return GetVpiInfo(ParamsOf<VpiInfo>(r)); }
int32_t RunChangeVpiParams(VpiRequest* r) {
  return ChangeVpiParams(InstanceOf(r), ParamsOf<const ChangeParams>(r), r->driverNumber);
}
int32_t RunBrowseAddress(VpiRequest* r) { return BrowseAddress(ParamsOf<BrowseRequest>(r), r->driverNumber); }

}  // namespace

const VpiHandler kCommandTable[kCommandSlots + 1] = {
    nullptr,                 // 0: no command
    RunColdStart,            // 1
    RunWarmStart,            // 2
    RunSingleAddressParser,  // 3
    RunBlockAddressParser,   // 4
    RunSingleRead,           // 5
    RunBlockRead,            // 6
    RunSingleWrite,          // 7
    nullptr,                 // 8: none
    nullptr,                 // 9: none
    RunBlockWrite,           // 10
    RunEndVpi,               // 11
    RunCloseCom,             // 12
    RunReOpenCom,            // 13
    RunGetVpiInfo,           // 14
    RunChangeVpiParams,      // 15
    RunBrowseAddress,        // 16
    nullptr,                 // 17: none
};

}  // namespace kovrin
