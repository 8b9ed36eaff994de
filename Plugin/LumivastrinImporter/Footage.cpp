// A style package as footage: a still of the package size whose path and metadata
// live in the options record attached to the footage handle.
#include "Footage.h"

#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "LumivastrinImporter.h"
#include "StyleMeta.h"
#include "StyleOptions.h"
#include "StylePackage.h"

namespace {

constexpr A_short kDepth = 32;

constexpr char kTypeName[] = "LVS";
constexpr char kSubTypeName[] = "To use with Lumivastrin Styles";

// Appends one code point; false when it does not fit before the terminator.
bool PutUtf8(char32_t c, char* out, std::size_t limit, std::size_t* at) {
  unsigned char bytes[4];
  std::size_t n;
  if (c < 0x80) {
    bytes[0] = static_cast<unsigned char>(c);
    n = 1;
  } else if (c < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 2;
  } else if (c < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 4;
  }
  if (n > limit - *at) return false;
  std::memcpy(out + *at, bytes, n);
  *at += n;
  return true;
}

A_Err DeclareFootage(const AEGP_IOInSuite5* io, AEIO_InSpecH specH) {
  const A_Time duration = {0, 100};  // zero length: a still

  AEIO_AlphaLabel alpha;
  std::memset(&alpha, 0, sizeof(alpha));
  alpha.version = AEIO_AlphaLabel_VERSION;
  alpha.flags = AEIO_Alpha_PREMUL;
  alpha.red = 1;
  alpha.green = 2;
  alpha.blue = 3;
  alpha.alpha = AEIO_Alpha_PREMUL_TYPE;

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

// Reads and parses the metadata entry into the record. The record is
// written only when everything worked, so on any failure it stays as reset.
A_Err ReadMetadata(const PF_HandleSuite2* handles, const char* path, LVS_Options* options) {
  const int32_t length = LVS_GetFileSize(path, kMetaEntryName);
  // An absent or empty entry names no style: as unusable as an unreadable
  // one. One past the metadata's bound is refused before a byte is read.
  if (length <= 0 || static_cast<std::size_t>(length) > kMetaSizeLimit) return PF_Err_INTERNAL_STRUCT_DAMAGED;

  const std::size_t capacity = static_cast<std::size_t>(length);
  A_Err err = A_Err_NONE;
  PF_Handle bufferH = handles->host_new_handle(capacity);
  void* bufferP = bufferH ? handles->host_lock_handle(bufferH) : nullptr;
  if (!bufferP) err = PF_Err_OUT_OF_MEMORY;

  StyleMeta meta;
  if (!err && LVS_ReadFile(path, kMetaEntryName, bufferP, capacity) < 0) err = PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (!err) {
    meta = ParseStyleMeta(bufferP, capacity);
    if (!meta.ok) err = PF_Err_INTERNAL_STRUCT_DAMAGED;
  }

  if (bufferP) handles->host_unlock_handle(bufferH);
  if (bufferH) handles->host_dispose_handle(bufferH);

  if (!err) {
    SetOptionsText(options->path, sizeof(options->path), path, std::strlen(path));
    SetOptionsText(options->name, sizeof(options->name), meta.name.data(), meta.name.size());
    SetOptionsText(options->author, sizeof(options->author), meta.author.data(), meta.author.size());
    SetOptionsText(options->hash, sizeof(options->hash), meta.hash.data(), meta.hash.size());
    options->version = meta.version;
  }
  return err;
}

A_Err Open(AEIO_InData* basic_dataP, const A_UTF16Char* file_pathZ, AEIO_InSpecH specH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  // Every suite the open needs, before it makes anything: a refused suite
  // then leaves nothing behind.
  const AEGP_MemorySuite1* mem = suites.MemorySuite();
  const AEGP_IOInSuite5* io = suites.IOInSuite();
  const PF_HandleSuite2* handles = suites.HandleSuite();

  AEGP_MemHandle optionsH = nullptr;
  A_Err err = mem->AEGP_NewMemHandle(LVS_PluginID(), "LVS Options", kOptionsRecordSize, AEGP_MemFlag_CLEAR, &optionsH);
  if (!err && !optionsH) err = PF_Err_OUT_OF_MEMORY;
  void* optionsPV = nullptr;
  if (!err) {
    err = mem->AEGP_LockMemHandle(optionsH, &optionsPV);
    if (!err && !optionsPV) {
      mem->AEGP_UnlockMemHandle(optionsH);
      err = PF_Err_OUT_OF_MEMORY;
    }
  }
  if (err) {
    if (optionsH) mem->AEGP_FreeMemHandle(optionsH);
    return err;
  }
  auto* options = static_cast<LVS_Options*>(optionsPV);
  lvs_InitInOptions(basic_dataP, options);

  const A_Err attributeErr = DeclareFootage(io, specH);

  char path[kOptionsPathSize];
  A_Err metaErr = PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (Utf16PathToUtf8(file_pathZ, path, sizeof(path))) metaErr = ReadMetadata(handles, path, options);

  mem->AEGP_UnlockMemHandle(optionsH);
  // Not examined: a host that reports an error may still have kept the
  // handle, and freeing it then would free it twice. A record lost on a
  // failing host is the lesser harm.
  void* previousPV = nullptr;
  io->AEGP_SetInSpecOptionsHandle(specH, optionsH, &previousPV);

  if (metaErr) return metaErr;
  return attributeErr;
}

A_Err Dispose(AEIO_InData* basic_dataP, AEIO_InSpecH specH) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);
  const AEGP_IOInSuite5* io = suites.IOInSuite();
  const AEGP_MemorySuite1* mem = suites.MemorySuite();

  void* optionsPV = nullptr;
  const A_Err err = io->AEGP_GetInSpecOptionsHandle(specH, &optionsPV);
  if (err || !optionsPV) return err;
  return mem->AEGP_FreeMemHandle(static_cast<AEGP_MemHandle>(optionsPV));
}

template <std::size_t N, std::size_t M>
void CopyText(A_char (&field)[N], const char (&text)[M]) {
  static_assert(M <= N, "the text fits its field");
  std::memcpy(field, text, M);
}

}  // namespace

bool Utf16PathToUtf8(const A_UTF16Char* text, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  out[0] = '\0';
  if (!text) return true;
  const std::size_t limit = outSize - 1;
  std::size_t at = 0;
  for (std::size_t i = 0; text[i] != 0; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    // A surrogate without its partner names no character; replaced, the
    // path could name another file that holds U+FFFD.
    const bool lone = c >= 0xD800 && c <= 0xDFFF;
    if (lone || !PutUtf8(c, out, limit, &at)) {
      out[0] = '\0';
      return false;
    }
  }
  out[at] = '\0';
  return true;
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
