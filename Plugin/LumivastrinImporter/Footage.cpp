// A style package as footage: a still of the package size whose path and metadata
// live in the options record attached to the footage handle.
#include "Footage.h"

#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "LumivastrinImporter.h"
#include "ScopedHostMemory.h"
#include "StyleMeta.h"
#include "StyleOptions.h"
#include "StylePackage.h"
#include "TextCodec.h"

namespace {

constexpr A_short kDepth = 32;

constexpr char kTypeName[] = "LVS";
constexpr char kSubTypeName[] = "To use with Lumivastrin Styles";

A_Err DeclareFootage(const AEGP_IOInSuite4* io, AEIO_InSpecH specH) {
  const A_Time duration = {0, 100};  // zero length: a still

  // Every drawn pixel is opaque, so straight and premultiplied alpha give
  // the same picture; saying so in the label keeps the host from guessing
  // (or asking the user) how to take the alpha channel. The matte colour is
  // never used with an opaque picture; these values are what the label has
  // always carried, and saved projects hold them.
  AEIO_AlphaLabel alpha;
  std::memset(&alpha, 0, sizeof(alpha));
  alpha.version = AEIO_AlphaLabel_VERSION;
  alpha.flags = AEIO_AlphaPremul;
  alpha.red = 1;
  alpha.green = 2;
  alpha.blue = 3;
  alpha.alpha = AEIO_Alpha_PREMUL;

  // A still is one whole frame (frame rendered: no fields to separate). The
  // field order then plays no part; lower first is what the label has
  // always carried.
  FIEL_Label interlace;
  std::memset(&interlace, 0, sizeof(interlace));
  interlace.signature = FIEL_Tag;
  interlace.version = FIEL_Label_VERSION;
  interlace.type = FIEL_Type_FRAME_RENDERED;
  interlace.order = FIEL_Order_LOWER_FIRST;
  interlace.reserved = 0;

  A_Err err = io->AEGP_SetInSpecDepth(specH, kDepth);
  if (!err) err = io->AEGP_SetInSpecDuration(specH, &duration);
  if (!err) err = io->AEGP_SetInSpecDimensions(specH, kStyleWidth, kStyleHeight);
  if (!err) err = io->AEGP_SetInSpecAlphaLabel(specH, &alpha);
  if (!err) err = io->AEGP_SetInSpecInterlaceLabel(specH, &interlace);
  return err;
}

// Reads and parses the metadata entry into the record, through one open of
// the package. The record is written only when everything worked, so on any
// failure it stays as reset.
A_Err ReadMetadata(const PF_HandleSuite1* handles, const char* path, LVS_Options* options) {
  const StylePackage package(path);
  const PackageEntry entry = package.Locate(kMetaEntryName);
  const int32_t length = entry.Length();
  const std::size_t capacity = length > 0 ? static_cast<std::size_t>(length) : 0;
  // An absent or empty entry names no style: as unusable as an unreadable
  // one. One past the metadata's bound is refused before a byte is read.
  A_Err err = A_Err_NONE;
  if (capacity == 0 || capacity > kMetaSizeLimit) err = PF_Err_INTERNAL_STRUCT_DAMAGED;

  HandleBuffer buffer(handles);
  void* const bufferP = err ? nullptr : buffer.Allocate(capacity);
  if (!err && !bufferP) err = PF_Err_OUT_OF_MEMORY;

  StyleMeta meta;
  if (!err && package.Read(entry, bufferP, capacity) != EntryStatus::Ok) err = PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (!err) {
    meta = ParseStyleMeta(bufferP, capacity);
    if (!meta.ok) err = PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  buffer.Release();

  if (!err) {
    SetOptionsText(options->path, sizeof(options->path), path, std::strlen(path));
    SetOptionsText(options->name, sizeof(options->name), meta.name.data(), meta.name.size());
    SetOptionsText(options->author, sizeof(options->author), meta.author.data(), meta.author.size());
    SetOptionsText(options->hash, sizeof(options->hash), meta.hash.data(), meta.hash.size());
    options->version = meta.version;
  }
  return err;
}

// Fills the record that the open made and locked, then unlocks it and
// attaches it to the footage, on every path: the host frees it with the
// footage even when the open fails. A metadata failure outweighs an
// attribute's: such footage cannot be used at all.
A_Err DescribeFootage(AEIO_InData* basic_dataP, const AEGP_SuiteHandler& suites, const A_UTF16Char* file_pathZ,
                      AEIO_InSpecH specH, AEGP_MemHandle optionsH, MemHandleLock& optionsLock) {
  const AEGP_IOInSuite4* io = suites.IOInSuite();
  auto* options = static_cast<LVS_Options*>(optionsLock.Data());
  lvs_InitInOptions(basic_dataP, options);

  const A_Err attributeErr = DeclareFootage(io, specH);

  char path[kOptionsPathSize];
  A_Err metaErr = PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (Utf16PathToUtf8(file_pathZ, path, sizeof(path))) metaErr = ReadMetadata(suites.HandleSuite(), path, options);

  optionsLock.Unlock();
  // Not examined: a host that reports an error may still have kept the
  // handle, and freeing it then would free it twice. A record lost on a
  // failing host is the lesser harm.
  void* previousPV = nullptr;
  io->AEGP_SetInSpecOptionsHandle(specH, optionsH, &previousPV);

  A_Err err = metaErr;
  if (!err) err = attributeErr;
  return err;
}

A_Err Open(AEIO_InData* basic_dataP, const A_UTF16Char* file_pathZ, AEIO_InSpecH specH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  // Every suite the open needs, before it makes anything: a refused suite
  // then leaves nothing behind.
  const AEGP_MemorySuite1* mem = suites.MemorySuite();
  suites.IOInSuite();
  suites.HandleSuite();

  AEGP_MemHandle optionsH = nullptr;
  MemHandleLock optionsLock;
  A_Err err = mem->AEGP_NewMemHandle(LVS_PluginID(), "LVS Options", kOptionsRecordSize, AEGP_MemFlag_CLEAR, &optionsH);
  if (!err && !optionsH) err = PF_Err_OUT_OF_MEMORY;
  if (!err) err = optionsLock.Lock(mem, optionsH);
  if (!err && !optionsLock.Data()) err = PF_Err_OUT_OF_MEMORY;

  if (!err) {
    err = DescribeFootage(basic_dataP, suites, file_pathZ, specH, optionsH, optionsLock);
  } else if (optionsH) {
    optionsLock.Unlock();
    mem->AEGP_FreeMemHandle(optionsH);
  }
  return err;
}

A_Err Dispose(AEIO_InData* basic_dataP, AEIO_InSpecH specH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  const AEGP_IOInSuite4* io = suites.IOInSuite();
  const AEGP_MemorySuite1* mem = suites.MemorySuite();

  void* optionsPV = nullptr;
  A_Err err = io->AEGP_GetInSpecOptionsHandle(specH, &optionsPV);
  if (!err && optionsPV) err = mem->AEGP_FreeMemHandle(static_cast<AEGP_MemHandle>(optionsPV));
  return err;
}

template <std::size_t N, std::size_t M>
void CopyText(A_char (&field)[N], const char (&text)[M]) {
  static_assert(M <= N, "the text fits its field");
  std::memcpy(field, text, M);
}

}  // namespace

bool Utf16PathToUtf8(const A_UTF16Char* text, char* out, std::size_t outSize) {
  return Utf16ToUtf8(text, out, outSize);
}

A_Err InitInSpecFromFile(AEIO_InData* basic_dataP, const A_UTF16Char* file_pathZ, AEIO_InSpecH specH) {
  if (!basic_dataP) return A_Err_STRUCT;
  return LVS_ErrorBoundary([&]() -> A_Err { return Open(basic_dataP, file_pathZ, specH); });
}

A_Err DisposeInSpec(AEIO_InData* basic_dataP, AEIO_InSpecH specH) {
  if (!basic_dataP) return A_Err_STRUCT;
  return LVS_ErrorBoundary([&]() -> A_Err { return Dispose(basic_dataP, specH); });
}

// Every package shows the same texts, whatever its metadata.
A_Err GetInSpecInfo(AEIO_InData*, AEIO_InSpecH, AEIO_Verbiage* verbiageP) {
  if (!verbiageP) return A_Err_STRUCT;
  CopyText(verbiageP->name, kLvsModuleName);
  CopyText(verbiageP->type, kTypeName);
  CopyText(verbiageP->sub_type, kSubTypeName);
  return A_Err_NONE;
}

// A still has no extent or frame times of its own: the host's defaults apply.
A_Err GetActiveExtent(AEIO_InData*, AEIO_InSpecH, const A_Time*, A_LRect*) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err InqNextFrameTime(AEIO_InData*, AEIO_InSpecH, const A_Time*, AEIO_TimeDir, A_Boolean*, A_Time*) {
  return AEIO_Err_USE_DFLT_CALLBACK;
}

// No file stays open between callbacks.
A_Err CloseSourceFiles(AEIO_InData*, AEIO_InSpecH) { return A_Err_NONE; }
