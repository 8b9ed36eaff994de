// Import and export modules: the data every callback receives, the module
// record, the footage labels, the texts shown for footage, the request for a
// frame and the callback table.
#pragma once

#include "A.h"
#include "AE_Effect.h"
#include "AE_IO_FileExt.h"
#include "FIEL_Public.h"
#include "SPBasic.h"

// The footage description the host keeps for one imported item, and its
// counterpart for output. Opaque: only passed on to "AEGP IO In Suite".
typedef struct AEIO_SeqSpec** AEIO_InSpecH;
typedef struct AEIO_OutSpec** AEIO_OutSpecH;
typedef struct _Up_OpaqueMem** AEIO_Handle;

typedef A_long AEIO_ModuleSignature;
typedef A_long AEIO_FileType;
typedef A_long AEIO_Creator;
typedef A_u_long AEIO_ModuleFlags;
typedef A_u_long AEIO_ModuleFlags2;
typedef A_long AEIO_DrawingFlags;
typedef A_short AEIO_Quality;
typedef A_short AEIO_TimeDir;
typedef A_long AEIO_SndQuality;
typedef A_long AEIO_LabelFlags;
typedef A_long AEIO_SupportedDepthFlags;
typedef A_long AEIO_IdleFlags;
typedef A_long AEIO_InputDepth;
typedef A_long AEIO_RenderMarkerFlag;
typedef A_u_char AEIO_MarkerType;

typedef void (*AEIO_MessageFunc)(A_Err err_number, const A_char* msgA);
typedef A_Err (*AEIO_AbortProc)(void* refcon);
typedef A_Err (*AEIO_ProgressProc)(void* refcon, A_long count, A_long total);

// Handed to every callback. The plug-in uses only pica_basicP.
struct AEIO_InData {
  AEIO_MessageFunc msg_func;
  const struct SPBasicSuite* pica_basicP;
  A_long aegp_plug_id;
  void* aegp_refconPV;
};
typedef struct AEIO_InData AEIO_BasicData;

// ---- Limits -------------------------------------------------------------------

#define AEIO_MAX_TYPES 16
#define AEIO_MAX_MODULE_NAME_LEN 31
#define AEIO_MAX_AUX_EXT 16
#define AEIO_MAX_SEQ_NAME_LEN 31
#define AEIO_MAX_MESSAGE_LEN 127

// ---- Errors of import and export modules --------------------------------------

enum {
  AEIO_Err_UNSUPPORTED_CALLBACK = (39 << 8) + 1,
  AEIO_Err_UNIMPLEMENTED,
  AEIO_Err_UNSUPPORTED_FILETYPE,
  AEIO_Err_INAPPROPRIATE_ACTION,
  AEIO_Err_BAD_BMWORLD,
  AEIO_Err_INCONSISTENT_PARAMETERS,
  AEIO_Err_INVALID_TIME,
  // Returned by a callback that leaves the request to the host's own default
  // handling.
  AEIO_Err_USE_DFLT_CALLBACK,
  AEIO_Err_USER_CANCEL,
  AEIO_Err_DISK_FULL,
  AEIO_Err_INITIALIZE_FAILED,
  AEIO_Err_BAD_FILENAME,
  AEIO_Err_PARSING,
  AEIO_Err_NOT_SEQUENCE,
  AEIO_Err_USE_DFLT_GETSIZES_FREESPACE,
};

// ---- The module record ----------------------------------------------------------

// A file type and creator code, as a Macintosh file carries them.
typedef struct {
  AEIO_FileType type;
  AEIO_Creator creator;
} PFILE_FileKind;

// One element of the kinds a module reads: a type and creator (mac), an
// extension (ext) or a clipboard kind (scrap), in the order the record's
// counts give.
typedef union {
  PFILE_FileKind mac;
  AEIO_FileExt ext;
  A_long scrap;
} AEIO_FileKind;

typedef struct {
  A_char extension[4];  // dot included, no terminator
  A_long type;
  A_long creator;
} AEIO_AuxExt;

#define AEIO_ANY_CREATOR (-1)

enum {
  AEIO_MFlag_NONE = 0,
  AEIO_MFlag_INPUT = 1L << 0,
  AEIO_MFlag_OUTPUT = 1L << 1,
  AEIO_MFlag_FILE = 1L << 2,
  AEIO_MFlag_STILL = 1L << 3,
  AEIO_MFlag_VIDEO = 1L << 4,
  AEIO_MFlag_AUDIO = 1L << 5,
  AEIO_MFlag_NO_TIME = 1L << 6,
  AEIO_MFlag_INTERACTIVE_GET = 1L << 7,
  AEIO_MFlag_INTERACTIVE_PUT = 1L << 8,
  AEIO_MFlag_CANT_CLIP = 1L << 9,
  AEIO_MFlag_MUST_INTERACT_PUT = 1L << 10,
  AEIO_MFlag_CANT_SOUND_INTERLEAVE = 1L << 11,
  AEIO_MFlag_CAN_ADD_FRAMES_NON_LINEAR = 1L << 12,
  AEIO_MFlag_HOST_DEPTH_DIALOG = 1L << 13,
  AEIO_MFlag_HOST_FRAME_START_DIALOG = 1L << 14,
  AEIO_MFlag_RESERVED1 = 1L << 15,
  AEIO_MFlag_NO_OPTIONS = 1L << 16,
  AEIO_MFlag_RESERVED2 = 1L << 17,
  AEIO_MFlag_RESERVED3 = 1L << 18,
  AEIO_MFlag_NO_PIXELS = 1L << 19,
  AEIO_MFlag_SEQUENCE_OPTIONS_OK = 1L << 20,
  AEIO_MFlag_INPUT_OPTIONS = 1L << 21,
  AEIO_MFlag_HSF_AWARE = 1L << 22,
  AEIO_MFlag_HAS_LAYERS = 1L << 23,
  AEIO_MFlag_SCRAP = 1L << 24,
  AEIO_MFlag_NO_UI = 1L << 25,
  AEIO_MFlag_SEQ_OPTIONS_DLG = 1L << 26,
  AEIO_MFlag_HAS_AUX_DATA = 1L << 27,
  AEIO_MFlag_HAS_META_DATA = 1L << 28,
  AEIO_MFlag_CAN_DO_MARKERS = 1L << 29,
  AEIO_MFlag_CAN_DRAW_DEEP = 1L << 30,
  AEIO_MFlag_RESERVED4 = 1UL << 31,
};
enum {
  AEIO_MFlag2_NONE = 0,
  AEIO_MFlag2_CAN_DRAW_FLOAT = 1L << 4,
};

// What the module tells the host about itself when it registers; the host
// copies it during AEGP_RegisterIO.
typedef struct {
  AEIO_ModuleSignature sig;
  A_char name[AEIO_MAX_MODULE_NAME_LEN + 1];
  AEIO_ModuleFlags flags;
  AEIO_ModuleFlags2 flags2;
  A_long max_width;
  A_long max_height;
  A_short num_filetypes;
  A_short num_extensions;
  A_short num_clips;
  A_short pad;
  PFILE_FileKind create_kind;  // only output modules create files
  AEIO_FileExt create_ext;
  // num_filetypes kinds in member mac, then num_extensions in member ext,
  // then num_clips clipboard kinds.
  AEIO_FileKind read_kinds[AEIO_MAX_TYPES];
  A_short num_aux_extensionsS;
  AEIO_AuxExt aux_ext[AEIO_MAX_AUX_EXT];
} AEIO_ModuleInfo;

// ---- Footage labels (packed to two bytes, as the host keeps them) ------------

typedef A_u_long AEIO_AlphaFlags;
typedef A_u_char AEIO_AlphaType;

#define AEIO_AlphaLabel_VERSION 0x0101
// Bits of AEIO_AlphaLabel.flags.
#define AEIO_AlphaPremul 1
#define AEIO_AlphaInverted 2
// Values of AEIO_AlphaLabel.alpha.
enum {
  AEIO_Alpha_STRAIGHT = 0,
  AEIO_Alpha_PREMUL = 1,
  AEIO_Alpha_IGNORE = 2,
  AEIO_Alpha_NONE = 3,
};

#pragma pack(push, 2)
typedef struct {
  A_short version;
  AEIO_AlphaFlags flags;
  // The colour a premultiplied picture was matted with.
  A_u_char red;
  A_u_char green;
  A_u_char blue;
  AEIO_AlphaType alpha;
} AEIO_AlphaLabel;
#pragma pack(pop)

enum {
  AEIO_InputDepth_1 = 1,
  AEIO_InputDepth_8 = 8,
  AEIO_InputDepth_24 = 24,
  AEIO_InputDepth_32 = 32,
  AEIO_InputDepth_48 = 48,
  AEIO_InputDepth_64 = 64,
  AEIO_InputDepth_96 = 96,
  AEIO_InputDepth_128 = 128,
};

// ---- Texts the host shows for footage ---------------------------------------------

// Each text is NUL-terminated within its field: at most 31, 31 and 127
// characters.
typedef struct {
  A_char name[AEIO_MAX_SEQ_NAME_LEN + 1];
  A_char type[AEIO_MAX_SEQ_NAME_LEN + 1];
  A_char sub_type[AEIO_MAX_MESSAGE_LEN + 1];
} AEIO_Verbiage;

// ---- The request for a frame ------------------------------------------------------

typedef struct {
  A_Ratio x;
  A_Ratio y;
} AEIO_RationalScale;

// A member whose name ends in 0 may be null.
typedef struct {
  void* refcon;
  AEIO_AbortProc abort0;
  AEIO_ProgressProc progress0;
} AEIO_InterruptFuncs;

enum {
  AEIO_Qual_LOW = 0,
  AEIO_Qual_HIGH = 1,
};
enum {
  AEIO_TimeDir_FORWARD = 0,
  AEIO_TimeDir_BACKWARD = 1,
  AEIO_TimeDir_INCLUDE_BASE_TIME = 0x1000,
};
enum {
  AEIO_DFlags_NONE = 0,
  AEIO_DFlags_DID_DEINT = 1L << 1,
  AEIO_DFlags_DID_ALPHA_CONV = 1L << 2,
};

typedef struct {
  AEIO_Quality qual;
  AEIO_RationalScale rs;
  A_Time tr;
  A_Time duration;
  A_LRect required_region;  // empty: the whole frame
  AEIO_InterruptFuncs inter;
} AEIO_DrawSparseFramePB;

// ---- The callback table ------------------------------------------------------------

// Records of callbacks this plug-in leaves null; never completed here.
struct PF_ChannelDesc;
struct PF_ChannelChunk;
struct AEIO_DrawFramePB;
struct AEIO_Marker;
typedef const struct _AEGP_MarkerVal* AEGP_ConstMarkerValP;

// 49 slots, each taking the basic data first; the module registers it with
// AEGP_RegisterIO and leaves null what it does not take part in.
typedef struct _AEIO_FunctionBlock4 {
  A_Err (*AEIO_InitInSpecFromFile)(AEIO_BasicData* basic_dataP, const A_UTF16Char* file_pathZ, AEIO_InSpecH inH);
  A_Err (*AEIO_InitInSpecInteractive)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH);
  A_Err (*AEIO_DisposeInSpec)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH);
  A_Err (*AEIO_FlattenOptions)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, AEIO_Handle* flat_optionsPH);
  A_Err (*AEIO_InflateOptions)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, AEIO_Handle flat_optionsH);
  A_Err (*AEIO_SynchInSpec)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_Boolean* changed0);
  A_Err (*AEIO_GetActiveExtent)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, const A_Time* tr, A_LRect* extent);
  A_Err (*AEIO_GetInSpecInfo)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, AEIO_Verbiage* verbiageP);
  A_Err (*AEIO_DrawSparseFrame)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH,
                                const AEIO_DrawSparseFramePB* sparse_framePPB, PF_EffectWorld* worldP,
                                AEIO_DrawingFlags* draw_flagsP);
  A_Err (*AEIO_GetDimensions)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, const AEIO_RationalScale* rs0,
                              A_long* width0, A_long* height0);
  A_Err (*AEIO_GetDuration)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_Time* tr);
  A_Err (*AEIO_GetTime)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_Time* tr);
  A_Err (*AEIO_GetSound)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, AEIO_SndQuality quality,
                         const AEIO_InterruptFuncs* interrupt0, const A_Time* startPT, const A_Time* durPT,
                         A_u_long start_sampLu, A_u_long num_samplesLu, void* dataPV);
  A_Err (*AEIO_InqNextFrameTime)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, const A_Time* base_time_tr,
                                 AEIO_TimeDir time_dir, A_Boolean* found0, A_Time* key_time_tr0);
  A_Err (*AEIO_InitOutputSpec)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_Boolean* user_interacted);
  A_Err (*AEIO_GetFlatOutputOptions)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, AEIO_Handle* optionsH);
  A_Err (*AEIO_DisposeOutputOptions)(AEIO_BasicData* basic_dataP, void* optionsPV);
  A_Err (*AEIO_UserOptionsDialog)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, const PF_EffectWorld* sample0,
                                  A_Boolean* user_interacted0);
  A_Err (*AEIO_GetOutputInfo)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, AEIO_Verbiage* verbiage);
  A_Err (*AEIO_OutputInfoChanged)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH);
  A_Err (*AEIO_SetOutputFile)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, const A_UTF16Char* file_pathZ);
  A_Err (*AEIO_StartAdding)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long flags);
  A_Err (*AEIO_AddFrame)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long frame_index, A_long frames,
                         const PF_EffectWorld* wP, const A_LPoint* origin0, A_Boolean was_compressedB,
                         AEIO_InterruptFuncs* inter0);
  A_Err (*AEIO_EndAdding)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long flags);
  A_Err (*AEIO_OutputFrame)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, const PF_EffectWorld* wP);
  A_Err (*AEIO_WriteLabels)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, AEIO_LabelFlags* written);
  A_Err (*AEIO_GetSizes)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_u_longlong* free_space,
                         A_u_longlong* file_size);
  A_Err (*AEIO_Flush)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH);
  A_Err (*AEIO_AddSoundChunk)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, const A_Time* start,
                              A_u_long num_samplesLu, const void* dataPV);
  A_Err (*AEIO_Idle)(AEIO_BasicData* basic_dataP, AEIO_ModuleSignature sig, AEIO_IdleFlags* idle_flags0);
  A_Err (*AEIO_GetDepths)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, AEIO_SupportedDepthFlags* which);
  A_Err (*AEIO_GetOutputSuffix)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_char* suffix);
  A_Err (*AEIO_SeqOptionsDlg)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_Boolean* user_interactedPB0);
  A_Err (*AEIO_GetNumAuxChannels)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_long* num_channelsPL);
  A_Err (*AEIO_GetAuxChannelDesc)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_long chan_indexL,
                                  PF_ChannelDesc* descP);
  A_Err (*AEIO_DrawAuxChannel)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_long chan_indexL,
                               const AEIO_DrawFramePB* pbP, PF_ChannelChunk* chunkP);
  A_Err (*AEIO_FreeAuxChannel)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, PF_ChannelChunk* chunkP);
  A_Err (*AEIO_NumAuxFiles)(AEIO_BasicData* basic_dataP, AEIO_InSpecH seqH, A_long* files_per_framePL0);
  A_Err (*AEIO_GetNthAuxFileSpec)(AEIO_BasicData* basic_dataP, AEIO_InSpecH seqH, A_long frame_numL, A_long n,
                                  AEGP_MemHandle* pathPH);
  A_Err (*AEIO_CloseSourceFiles)(AEIO_BasicData* basic_dataP, AEIO_InSpecH seqH);
  A_Err (*AEIO_CountUserData)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_u_long typeLu, A_u_long max_sizeLu,
                              A_u_long* num_of_typePLu);
  A_Err (*AEIO_SetUserData)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_u_long typeLu, A_u_long indexLu,
                            const AEIO_Handle dataH);
  A_Err (*AEIO_GetUserData)(AEIO_BasicData* basic_dataP, AEIO_InSpecH inH, A_u_long typeLu, A_u_long indexLu,
                            A_u_long max_sizeLu, AEIO_Handle* dataPH);
  A_Err (*AEIO_AddMarker)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long frame_index,
                          AEIO_MarkerType marker_type, void* marker_dataPV, AEIO_InterruptFuncs* inter0);
  A_Err (*AEIO_VerifyFileImportable)(AEIO_BasicData* basic_dataP, AEIO_ModuleSignature sig,
                                     const A_UTF16Char* file_pathZ, A_Boolean* importablePB);
  A_Err (*AEIO_UserAudioOptionsDialog)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_Boolean* user_interacted0);
  A_Err (*AEIO_AddMarker2)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long frame_index,
                           const AEIO_Marker* markerP, AEIO_InterruptFuncs* inter0);
  A_Err (*AEIO_AddMarker3)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long frame_index,
                           AEGP_ConstMarkerValP marker_valP, AEIO_RenderMarkerFlag marker_flag,
                           AEIO_InterruptFuncs* inter0);
  A_Err (*AEIO_GetMimeType)(AEIO_BasicData* basic_dataP, AEIO_OutSpecH outH, A_long mime_type_sizeL,
                            char* mime_typeZ);
} AEIO_FunctionBlock4;
