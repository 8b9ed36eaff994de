#include "ModuleCalls.h"

#include <vector>

#include "Guarded.h"
#include "SubstituteHost.h"

namespace lvs_host {

bool FenceIntact(const uint8_t* fence, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (fence[i] != kRecordGuardByte) return false;
  return true;
}

namespace {

// The basic data every callback gets: a fenced copy of the host's, which the
// module may only read.
class CallData {
 public:
  CallData(SubstituteHost& host, const char* callback)
      : host_(host), callback_(callback), expected_(*host.InData()), record_(expected_) {}
  ~CallData() {
    const std::string what = std::string(callback_) + ": the basic data (AEIO_InData)";
    if (record_.Check(host_.Misuse(), what)) record_.Unchanged(expected_, host_.Misuse(), what);
  }
  AEIO_InData* get() { return record_.get(); }
  std::string What(const char* record) const { return std::string(callback_) + ": " + record; }
  MisuseLog& Misuse() { return host_.Misuse(); }

 private:
  SubstituteHost& host_;
  const char* callback_;
  const AEIO_InData expected_;
  Guarded<AEIO_InData> record_;
};

// A record the module only reads: fenced, and checked unchanged afterwards.
template <class T>
void CheckReadOnly(const Guarded<T>& record, const T& expected, CallData& call, const char* name) {
  if (record.Check(call.Misuse(), call.What(name))) record.Unchanged(expected, call.Misuse(), call.What(name));
}

}  // namespace

AEIO_DrawSparseFramePB ModuleCalls::StillRequest() {
  AEIO_DrawSparseFramePB request{};
  request.qual = AEIO_Qual_HIGH;
  request.rs.x = {1, 1};
  request.rs.y = {1, 1};
  request.tr = {0, 100};
  request.duration = {0, 100};
  return request;  // an empty required region: the whole frame
}

A_Err ModuleCalls::InitInSpecFromFile(const std::u16string& path, AEIO_InSpecH inSpec) {
  const auto slot = host_.Callbacks().AEIO_InitInSpecFromFile;
  if (!slot) return A_Err_STRUCT;
  // The path with its terminator, fenced by guard code units.
  constexpr size_t kFence = kRecordGuard / sizeof(A_UTF16Char);
  constexpr A_UTF16Char kFenceUnit = kRecordGuardByte * 0x101;
  std::vector<A_UTF16Char> text(kFence + path.size() + 1 + kFence, kFenceUnit);
  std::copy(path.begin(), path.end(), text.begin() + kFence);
  text[kFence + path.size()] = 0;
  const std::vector<A_UTF16Char> expected = text;

  CallData call(host_, "AEIO_InitInSpecFromFile");
  const A_Err err = slot(call.get(), text.data() + kFence, inSpec);
  if (text != expected) call.Misuse().Record(call.What("the path") + ": written, though the module may only read it");
  return err;
}

A_Err ModuleCalls::DisposeInSpec(AEIO_InSpecH inSpec) {
  const auto slot = host_.Callbacks().AEIO_DisposeInSpec;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_DisposeInSpec");
  return slot(call.get(), inSpec);
}

A_Err ModuleCalls::FlattenOptions(AEIO_InSpecH inSpec, AEGP_MemHandle* flat) {
  const auto slot = host_.Callbacks().AEIO_FlattenOptions;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_FlattenOptions");
  Guarded<AEIO_Handle> out;
  const A_Err err = slot(call.get(), inSpec, out.get());
  out.Check(call.Misuse(), call.What("the flat options handle"));
  if (flat) *flat = *out.get();
  return err;
}

A_Err ModuleCalls::InflateOptions(AEIO_InSpecH inSpec, AEGP_MemHandle flat) {
  const auto slot = host_.Callbacks().AEIO_InflateOptions;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_InflateOptions");
  return slot(call.get(), inSpec, flat);
}

A_Err ModuleCalls::GetInSpecInfo(AEIO_InSpecH inSpec, AEIO_Verbiage* verbiage) {
  const auto slot = host_.Callbacks().AEIO_GetInSpecInfo;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_GetInSpecInfo");
  Guarded<AEIO_Verbiage> record;
  const A_Err err = slot(call.get(), inSpec, record.get());
  record.Check(call.Misuse(), call.What("the verbiage"));
  if (verbiage) *verbiage = *record.get();
  return err;
}

A_Err ModuleCalls::DrawSparseFrame(AEIO_InSpecH inSpec, PF_EffectWorld* world, AEIO_DrawingFlags* flags,
                                   const AEIO_DrawSparseFramePB* request) {
  const auto slot = host_.Callbacks().AEIO_DrawSparseFrame;
  if (!slot) return A_Err_STRUCT;
  const AEIO_DrawSparseFramePB asked = request ? *request : StillRequest();
  CallData call(host_, "AEIO_DrawSparseFrame");
  const Guarded<AEIO_DrawSparseFramePB> pb(asked);
  Guarded<AEIO_DrawingFlags> drawn(AEIO_DFlags_NONE);
  const A_Err err = slot(call.get(), inSpec, pb.get(), world, drawn.get());
  CheckReadOnly(pb, asked, call, "the frame request");
  drawn.Check(call.Misuse(), call.What("the drawing flags"));
  if (flags) *flags = *drawn.get();
  return err;
}

A_Err ModuleCalls::GetActiveExtent(AEIO_InSpecH inSpec, const A_Time& time, A_LRect* extent) {
  const auto slot = host_.Callbacks().AEIO_GetActiveExtent;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_GetActiveExtent");
  const Guarded<A_Time> when(time);
  Guarded<A_LRect> out(extent ? *extent : A_LRect{});
  const A_Err err = slot(call.get(), inSpec, when.get(), out.get());
  CheckReadOnly(when, time, call, "the time");
  out.Check(call.Misuse(), call.What("the extent"));
  if (extent) *extent = *out.get();
  return err;
}

A_Err ModuleCalls::InqNextFrameTime(AEIO_InSpecH inSpec, const A_Time& base, AEIO_TimeDir direction, A_Boolean* found,
                                    A_Time* next) {
  const auto slot = host_.Callbacks().AEIO_InqNextFrameTime;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_InqNextFrameTime");
  const Guarded<A_Time> from(base);
  Guarded<A_Boolean> isFound(found ? *found : A_Boolean{0});
  Guarded<A_Time> at(next ? *next : A_Time{});
  const A_Err err = slot(call.get(), inSpec, from.get(), direction, isFound.get(), at.get());
  CheckReadOnly(from, base, call, "the base time");
  isFound.Check(call.Misuse(), call.What("the found flag"));
  at.Check(call.Misuse(), call.What("the next time"));
  if (found) *found = *isFound.get();
  if (next) *next = *at.get();
  return err;
}

A_Err ModuleCalls::CloseSourceFiles(AEIO_InSpecH inSpec) {
  const auto slot = host_.Callbacks().AEIO_CloseSourceFiles;
  if (!slot) return A_Err_STRUCT;
  CallData call(host_, "AEIO_CloseSourceFiles");
  return slot(call.get(), inSpec);
}

}  // namespace lvs_host
