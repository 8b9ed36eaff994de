// The options record and its flat form for projects.
#include "StyleOptions.h"

#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "LumivastrinImporter.h"

namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Locks a memory handle. A host that reports success without a pointer to a
// non-empty block is treated as out of memory; *locked tells the caller
// whether an unlock is owed either way.
A_Err LockBlock(const AEGP_MemorySuite1* mem, AEGP_MemHandle h, A_u_long size, void** out, bool* locked) {
  *out = nullptr;
  const A_Err err = mem->AEGP_LockMemHandle(h, out);
  *locked = (err == A_Err_NONE);
  if (!err && !*out && size > 0) return PF_Err_OUT_OF_MEMORY;
  return err;
}

A_Err Flatten(const AEGP_SuiteHandler& suites, AEIO_InSpecH specH, AEGP_MemHandle* flat_optionsPH) {
  const AEGP_IOInSuite5* io = suites.IOInSuite();
  const AEGP_MemorySuite1* mem = suites.MemorySuite();

  void* optionsPV = nullptr;
  A_Err err = io->AEGP_GetInSpecOptionsHandle(specH, &optionsPV);
  if (err || !optionsPV) return err;
  const auto optionsH = static_cast<AEGP_MemHandle>(optionsPV);

  AEGP_MemSize size = 0;
  AEGP_MemHandle flatH = nullptr;
  void* fromP = nullptr;
  void* toP = nullptr;
  bool fromLocked = false;
  bool toLocked = false;
  err = mem->AEGP_GetMemHandleSize(optionsH, &size);
  if (!err) err = mem->AEGP_NewMemHandle(LVS_PluginID(), "Flat Options", size, AEGP_MemFlag_CLEAR, &flatH);
  if (!err && !flatH) err = PF_Err_OUT_OF_MEMORY;
  if (!err) err = LockBlock(mem, optionsH, size, &fromP, &fromLocked);
  if (!err) err = LockBlock(mem, flatH, size, &toP, &toLocked);
  if (!err && size > 0) std::memcpy(toP, fromP, size);
  if (fromLocked) mem->AEGP_UnlockMemHandle(optionsH);
  if (toLocked) mem->AEGP_UnlockMemHandle(flatH);

  // A flat handle without its copy must not reach the host, which would
  // store it, nor stay behind unowned.
  if (err && flatH) {
    mem->AEGP_FreeMemHandle(flatH);
    flatH = nullptr;
  }
  *flat_optionsPH = flatH;
  return err;
}

// Fills the new record from the flat one, or resets it when the flat one has
// another size. False when a lock failed; nothing then stays locked.
bool FillRound(const AEGP_MemorySuite1* mem, AEGP_MemHandle flatH, AEGP_MemSize flatSize, AEGP_MemHandle roundH,
               AEIO_InData* basic_dataP) {
  void* fromP = nullptr;
  void* toP = nullptr;
  bool fromLocked = false;
  bool toLocked = false;
  const bool copy = (flatSize == kOptionsRecordSize);

  A_Err err = A_Err_NONE;
  if (copy) err = LockBlock(mem, flatH, kOptionsRecordSize, &fromP, &fromLocked);
  if (!err) err = LockBlock(mem, roundH, kOptionsRecordSize, &toP, &toLocked);
  if (!err) {
    if (copy)
      std::memcpy(toP, fromP, kOptionsRecordSize);
    else
      lvs_InitInOptions(basic_dataP, static_cast<LVS_Options*>(toP));
  }
  if (fromLocked) mem->AEGP_UnlockMemHandle(flatH);
  if (toLocked) mem->AEGP_UnlockMemHandle(roundH);
  return !err;
}

A_Err Inflate(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle flatH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  // Both suites first, so a refused one stops the call before it holds a
  // handle nobody would free.
  const AEGP_MemorySuite1* mem = suites.MemorySuite();
  const AEGP_IOInSuite5* io = suites.IOInSuite();

  AEGP_MemSize flatSize = 0;
  if (mem->AEGP_GetMemHandleSize(flatH, &flatSize) != A_Err_NONE) return A_Err_NONE;

  AEGP_MemHandle roundH = nullptr;
  if (mem->AEGP_NewMemHandle(LVS_PluginID(), "Round Options", kOptionsRecordSize, AEGP_MemFlag_CLEAR, &roundH) ||
      !roundH)
    return A_Err_NONE;

  if (!FillRound(mem, flatH, flatSize, roundH, basic_dataP)) {
    mem->AEGP_FreeMemHandle(roundH);
    return A_Err_NONE;
  }
  // The previous handle stays the host's business. The result is not
  // examined, as in the open: freeing a handle the host may have kept
  // would risk a double free.
  void* previousPV = nullptr;
  io->AEGP_SetInSpecOptionsHandle(specH, roundH, &previousPV);
  return A_Err_NONE;
}

}  // namespace

A_Err lvs_InitInOptions(AEIO_InData*, LVS_Options* optionsP) {
  if (!optionsP) return A_Err_NONE;
  optionsP->author[0] = '\0';
  optionsP->hash[0] = '\0';
  optionsP->spare[0] = '\0';
  optionsP->name[0] = '\0';
  optionsP->path[0] = '\0';
  optionsP->version = 0;
  return A_Err_NONE;
}

bool SetOptionsText(A_char* field, std::size_t fieldSize, const char* text, std::size_t length) {
  if (fieldSize == 0) return length == 0;
  std::size_t keep = length;
  if (keep > fieldSize - 1) {
    keep = fieldSize - 1;
    // Back off to the start of the character the limit falls into.
    while (keep > 0 && IsUtf8Continuation(text[keep])) --keep;
  }
  if (keep > 0) std::memcpy(field, text, keep);
  field[keep] = '\0';
  return keep == length;
}

A_Err FlattenOptions(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle* flat_optionsPH) {
  if (!basic_dataP || !flat_optionsPH) return A_Err_STRUCT;
  *flat_optionsPH = nullptr;
  return LVS_ErrorBoundary([&]() -> A_Err {
    AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
    suites.IOInSuite();
    suites.MemorySuite();
    return Flatten(suites, specH, flat_optionsPH);
  });
}

A_Err InflateOptions(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle flat_optionsH) {
  if (!flat_optionsH) return A_Err_NONE;
  if (!basic_dataP) return A_Err_STRUCT;
  return LVS_ErrorBoundary([&]() -> A_Err { return Inflate(basic_dataP, specH, flat_optionsH); });
}
