#include "ResultNames.h"

namespace lvs {

const char* HostErrorName(A_Err err) {
  switch (err) {
    case A_Err_NONE:
      return "A_Err_NONE";
    case A_Err_GENERIC:
      return "A_Err_GENERIC";
    case A_Err_STRUCT:
      return "A_Err_STRUCT";
    case A_Err_PARAMETER:
      return "A_Err_PARAMETER";
    case A_Err_ALLOC:
      return "A_Err_ALLOC";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
      return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX:
      return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
      return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK:
      return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM:
      return "PF_Err_BAD_CALLBACK_PARAM";
    case AEIO_Err_USE_DFLT_CALLBACK:
      return "AEIO_Err_USE_DFLT_CALLBACK";
    default:
      return "unknown";
  }
}

std::string HostErrorText(A_Err err) { return std::to_string(err) + " (" + HostErrorName(err) + ")"; }

const char* DecoderResultName(int32_t result) {
  switch (result) {
    case Jpeg::Decoder::Success:
      return "Success";
    case Jpeg::Decoder::NoStartOfImage:
      return "NoStartOfImage";
    case Jpeg::Decoder::UnsupportedFeature:
      return "UnsupportedFeature";
    case Jpeg::Decoder::AllocationFailed:
      return "AllocationFailed";
    case Jpeg::Decoder::MalformedData:
      return "MalformedData";
    case Jpeg::Decoder::ScanComplete:
      return "ScanComplete";
    default:
      return "unknown";
  }
}

}  // namespace lvs
