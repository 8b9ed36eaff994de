// The options record and its flat form for projects.
#include "StyleOptions.h"

#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "LumivastrinImporter.h"
#include "ScopedHostMemory.h"

namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A lock that reports success without the address of a non-empty block is
// out of memory; the unlock is owed all the same.
A_Err LockBlock(const AEGP_MemorySuite1* mem, AEGP_MemHandle h, A_u_long size, MemHandleLock& lock) {
  A_Err err = lock.Lock(mem, h);
  if (!err && !lock.Data() && size > 0) err = PF_Err_OUT_OF_MEMORY;
  return err;
}

// Copies size bytes of the options record into a new flat handle; the
// locks are given back before the flat handle is handed on or freed.
A_Err CopyIntoFlat(const AEGP_MemorySuite1* mem, AEGP_MemHandle optionsH, AEGP_MemHandle* flatPH) {
  AEGP_MemSize size = 0;
  AEGP_MemHandle flatH = nullptr;
  A_Err err = mem->AEGP_GetMemHandleSize(optionsH, &size);
  if (!err) err = mem->AEGP_NewMemHandle(LVS_PluginID(), "Flat Options", size, AEGP_MemFlag_CLEAR, &flatH);
  if (!err && !flatH) err = PF_Err_OUT_OF_MEMORY;
  {
    MemHandleLock from;
    MemHandleLock to;
    if (!err) err = LockBlock(mem, optionsH, size, from);
    if (!err) err = LockBlock(mem, flatH, size, to);
    if (!err && size > 0) std::memcpy(to.Data(), from.Data(), size);
    // The record first, then the copy, as they were locked.
    from.Unlock();
    to.Unlock();
  }

  // A flat handle without its copy must not reach the host, which would
  // store it, nor stay behind unowned.
  if (err && flatH) {
    mem->AEGP_FreeMemHandle(flatH);
    flatH = nullptr;
  }
  *flatPH = flatH;
  return err;
}

A_Err Flatten(const AEGP_SuiteHandler& suites, AEIO_InSpecH specH, AEGP_MemHandle* flat_optionsPH) {
  const AEGP_IOInSuite4* io = suites.IOInSuite();
  const AEGP_MemorySuite1* mem = suites.MemorySuite();

  // Footage without a record has nothing to flatten.
  void* optionsPV = nullptr;
  A_Err err = io->AEGP_GetInSpecOptionsHandle(specH, &optionsPV);
  if (!err && optionsPV) err = CopyIntoFlat(mem, static_cast<AEGP_MemHandle>(optionsPV), flat_optionsPH);
  return err;
}

// Fills the new record from the flat one, or resets it when the flat one has
// another size; the locks are given back before the caller attaches or
// frees the new record.
A_Err FillRound(const AEGP_MemorySuite1* mem, AEGP_MemHandle flatH, AEGP_MemSize flatSize, AEGP_MemHandle roundH,
                AEIO_InData* basic_dataP) {
  MemHandleLock from;
  MemHandleLock to;
  const bool copy = (flatSize == kOptionsRecordSize);
  A_Err err = A_Err_NONE;
  if (copy) err = LockBlock(mem, flatH, kOptionsRecordSize, from);
  if (!err) err = LockBlock(mem, roundH, kOptionsRecordSize, to);
  if (!err) {
    if (copy)
      std::memcpy(to.Data(), from.Data(), kOptionsRecordSize);
    else
      lvs_InitInOptions(basic_dataP, static_cast<LVS_Options*>(to.Data()));
  }
  from.Unlock();
  to.Unlock();
  return err;
}

// No failure here is the host's to hear of: footage that cannot get its
// record back simply keeps none, and draws the fallback.
A_Err Inflate(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle flatH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  // Both suites first, so a refused one stops the call before it holds a
  // handle nobody would free.
  const AEGP_MemorySuite1* mem = suites.MemorySuite();
  const AEGP_IOInSuite4* io = suites.IOInSuite();

  AEGP_MemSize flatSize = 0;
  AEGP_MemHandle roundH = nullptr;
  A_Err err = mem->AEGP_GetMemHandleSize(flatH, &flatSize);
  if (!err)
    err = mem->AEGP_NewMemHandle(LVS_PluginID(), "Round Options", kOptionsRecordSize, AEGP_MemFlag_CLEAR, &roundH);
  if (!err && !roundH) err = PF_Err_OUT_OF_MEMORY;
  if (!err) {
    err = FillRound(mem, flatH, flatSize, roundH, basic_dataP);
    if (err) mem->AEGP_FreeMemHandle(roundH);
  }
  if (!err) {
    // The previous handle stays the host's business. The result is not
    // examined, as in the open: freeing a handle the host may have kept
    // would risk a double free.
    void* previousPV = nullptr;
    io->AEGP_SetInSpecOptionsHandle(specH, roundH, &previousPV);
  }
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
