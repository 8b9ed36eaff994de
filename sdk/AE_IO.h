// Import-plug-in records of the host interface: the data every callback
// receives, the module description, the footage description labels and the
// callback table.
#pragma once

#include "AE_BasicTypes.h"
#include "AE_World.h"

// The footage description the host keeps for one imported item. Opaque to
// the plug-in, which only passes the handle on to "AEGP IO In Suite".
typedef struct AEIO_SeqSpec AEIO_SeqSpec;
typedef AEIO_SeqSpec** AEIO_InSpecH;

// Handed to every callback. The plug-in uses only pica_basicP.
struct AEIO_InData {
  A_long reserved_flags;
  const SPBasicSuite* pica_basicP;
  AEGP_PluginID aegp_plug_id;
  void* aegp_refconPV;
};
typedef AEIO_InData AEIO_BasicData;
static_assert(offsetof(AEIO_InData, pica_basicP) == 8, "AEIO_InData: basic suite is the second member");

typedef A_u_long AEIO_FileType;
typedef A_u_long AEIO_Creator;

// One kind of file the module reads: a type code, a creator code
// (AEIO_ANY_CREATOR for any) and an extension of four characters with the
// dot first and no terminator.
struct AEIO_FileKind {
  AEIO_FileType type;
  AEIO_Creator creator;
  A_char extension[4];
};
static_assert(sizeof(AEIO_FileKind) == 12, "AEIO_FileKind layout");

enum : A_u_long { AEIO_ANY_CREATOR = 0xFFFFFFFFu };

typedef A_long AEIO_ModuleFlags;
enum : A_long {
  AEIO_MFlag_NONE = 0,
  AEIO_MFlag_INPUT = 1L << 0,
  AEIO_MFlag_OUTPUT = 1L << 1,
  AEIO_MFlag_FILE = 1L << 2,
  AEIO_MFlag_STILL = 1L << 3,
  AEIO_MFlag_NO_TIME = 1L << 6,
  AEIO_MFlag_BIT27 = 1L << 27,  // required by the host for importers of this kind
};

enum { AEIO_MAX_MODULE_NAME_LEN = 31, AEIO_MAX_READ_KINDS = 10, AEIO_MAX_AUX_EXT = 16 };

// What the module tells the host about itself when it registers; the host
// copies it during AEGP_RegisterIO.
struct AEIO_ModuleInfo {
  AEIO_FileType sig;                           // 0
  A_char name[AEIO_MAX_MODULE_NAME_LEN + 1];   // 4
  AEIO_ModuleFlags flags;                      // 36
  AEIO_ModuleFlags flags2;                     // 40
  A_long max_width;                            // 44
  A_long max_height;                           // 48
  A_short num_filetypes;                       // 52
  A_short num_extensions;                      // 54
  A_short num_clips;                           // 56
  A_short pad;                                 // 58
  AEIO_FileKind create_kind;                   // 60
  AEIO_FileKind read_kinds[AEIO_MAX_READ_KINDS];  // 72
  A_char reserved[8];                          // 192
  A_short num_aux_extensionsS;                 // 200
  A_short pad2;                                // 202
  AEIO_FileKind aux_ext[AEIO_MAX_AUX_EXT];     // 204
};
static_assert(sizeof(AEIO_ModuleInfo) == 396, "AEIO_ModuleInfo size");
static_assert(offsetof(AEIO_ModuleInfo, name) == 4, "AEIO_ModuleInfo name");
static_assert(offsetof(AEIO_ModuleInfo, flags) == 36, "AEIO_ModuleInfo flags");
static_assert(offsetof(AEIO_ModuleInfo, flags2) == 40, "AEIO_ModuleInfo flags2");
static_assert(offsetof(AEIO_ModuleInfo, max_width) == 44, "AEIO_ModuleInfo max_width");
static_assert(offsetof(AEIO_ModuleInfo, max_height) == 48, "AEIO_ModuleInfo max_height");
static_assert(offsetof(AEIO_ModuleInfo, num_filetypes) == 52, "AEIO_ModuleInfo num_filetypes");
static_assert(offsetof(AEIO_ModuleInfo, num_extensions) == 54, "AEIO_ModuleInfo num_extensions");
static_assert(offsetof(AEIO_ModuleInfo, num_clips) == 56, "AEIO_ModuleInfo num_clips");
static_assert(offsetof(AEIO_ModuleInfo, read_kinds) == 72, "AEIO_ModuleInfo read_kinds");
static_assert(offsetof(AEIO_ModuleInfo, read_kinds) + offsetof(AEIO_FileKind, creator) == 76,
              "AEIO_ModuleInfo creator");
static_assert(offsetof(AEIO_ModuleInfo, read_kinds) + offsetof(AEIO_FileKind, extension) == 80,
              "AEIO_ModuleInfo extension");
static_assert(offsetof(AEIO_ModuleInfo, num_aux_extensionsS) == 200, "AEIO_ModuleInfo aux count");

// Labels describing footage; both are packed to 2-byte alignment, as the
// host stores them.
#pragma pack(push, 2)
typedef A_u_long AEIO_AlphaFlags;
enum : A_u_long { AEIO_Alpha_PREMUL = 1 };
typedef A_u_char AEIO_AlphaType;
enum : A_u_char {
  AEIO_Alpha_STRAIGHT = 0,
  AEIO_Alpha_PREMUL_TYPE = 1,
  AEIO_Alpha_IGNORE = 2,
  AEIO_Alpha_NONE = 3,
};
enum : A_short { AEIO_AlphaLabel_VERSION = 0x0101 };
struct AEIO_AlphaLabel {
  A_short version;
  AEIO_AlphaFlags flags;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
  AEIO_AlphaType alpha;
};

enum : A_u_long { FIEL_Tag = 0x4649454Cu };  // "FIEL"
enum : A_short { FIEL_Label_VERSION = 1 };
typedef A_u_long FIEL_Type;
typedef A_u_long FIEL_Order;
enum : A_u_long {
  FIEL_Type_FRAME_RENDERED = 0,
  FIEL_Type_INTERLACED = 1,
  FIEL_Order_UPPER_FIRST = 0,
  FIEL_Order_LOWER_FIRST = 1,
};
struct FIEL_Label {
  A_u_long signature;
  A_short version;
  FIEL_Type type;
  FIEL_Order order;
  A_u_long reserved;
};
#pragma pack(pop)
static_assert(sizeof(AEIO_AlphaLabel) == 10, "AEIO_AlphaLabel layout");
static_assert(offsetof(AEIO_AlphaLabel, flags) == 2 && offsetof(AEIO_AlphaLabel, alpha) == 9,
              "AEIO_AlphaLabel offsets");
static_assert(sizeof(FIEL_Label) == 18, "FIEL_Label layout");
static_assert(offsetof(FIEL_Label, version) == 4 && offsetof(FIEL_Label, reserved) == 14,
              "FIEL_Label offsets");

// Texts the host shows for a footage item. Each field is NUL-terminated
// within its size; longer texts are cut by the writer.
enum { AEGP_MAX_PATH_SIZE = 1024, AEIO_MAX_TYPE_NAME_LEN = 31, AEIO_MAX_MESSAGE_LEN = 255 };
struct AEIO_Verbiage {
  A_char name[AEGP_MAX_PATH_SIZE];
  A_char type[AEIO_MAX_TYPE_NAME_LEN + 1];
  A_char sub_type[AEIO_MAX_MESSAGE_LEN + 1];
};

typedef A_long A_Quality;
// The host's request for one frame. The plug-in draws the whole picture and
// reads none of it.
struct AEIO_DrawSparseFramePB {
  A_Quality qual;
  A_LRect rs;
  A_Time tr;
  A_Time duration;
  A_u_char reserved[64];
};

typedef A_u_long AEIO_DrawingFlags;
typedef A_short AEIO_TimeDir;

// Callback signatures of the table below.
typedef A_Err (*AEIO_InitInSpecFromFileFunc)(AEIO_InData* basic_dataP, const A_UTF16Char* file_pathZ,
                                             AEIO_InSpecH specH);
typedef A_Err (*AEIO_DisposeInSpecFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH);
typedef A_Err (*AEIO_FlattenOptionsFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH,
                                         AEGP_MemHandle* flat_optionsPH);
typedef A_Err (*AEIO_InflateOptionsFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH,
                                         AEGP_MemHandle flat_optionsH);
typedef A_Err (*AEIO_GetActiveExtentFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const A_Time* tr,
                                          A_LRect* extent);
typedef A_Err (*AEIO_GetInSpecInfoFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEIO_Verbiage* verbiageP);
typedef A_Err (*AEIO_DrawSparseFrameFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH,
                                          const AEIO_DrawSparseFramePB* sparse_framePPB, PF_EffectWorld* wP,
                                          AEIO_DrawingFlags* draw_flagsP);
typedef A_Err (*AEIO_InqNextFrameTimeFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH,
                                           const A_Time* base_time_tr, AEIO_TimeDir time_dir,
                                           A_Boolean* found0, A_Time* key_time_tr0);
typedef A_Err (*AEIO_CloseSourceFilesFunc)(AEIO_InData* basic_dataP, AEIO_InSpecH specH);
// Slots this module leaves null; never called through this type.
typedef A_Err (*AEIO_ReservedFunc)(void);

// The callback table the module registers with AEGP_RegisterIO: 49 slots,
// null where the module does not take part.
struct AEIO_FunctionBlock4 {
  AEIO_InitInSpecFromFileFunc AEIO_InitInSpecFromFile;  // 0
  AEIO_ReservedFunc reserved1;
  AEIO_DisposeInSpecFunc AEIO_DisposeInSpec;      // 2
  AEIO_FlattenOptionsFunc AEIO_FlattenOptions;    // 3
  AEIO_InflateOptionsFunc AEIO_InflateOptions;    // 4
  AEIO_ReservedFunc reserved5;
  AEIO_GetActiveExtentFunc AEIO_GetActiveExtent;  // 6
  AEIO_GetInSpecInfoFunc AEIO_GetInSpecInfo;      // 7
  AEIO_DrawSparseFrameFunc AEIO_DrawSparseFrame;  // 8
  AEIO_ReservedFunc reserved9;
  AEIO_ReservedFunc reserved10;
  AEIO_ReservedFunc reserved11;
  AEIO_ReservedFunc reserved12;
  AEIO_InqNextFrameTimeFunc AEIO_InqNextFrameTime;  // 13
  AEIO_ReservedFunc reserved14[39 - 14];
  AEIO_CloseSourceFilesFunc AEIO_CloseSourceFiles;  // 39
  AEIO_ReservedFunc reserved40[49 - 40];
};
static_assert(sizeof(AEIO_FunctionBlock4) == 49 * sizeof(void*) && sizeof(AEIO_FunctionBlock4) == 392,
              "AEIO_FunctionBlock4 size");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_InitInSpecFromFile) == 0 * 8, "slot 0");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_DisposeInSpec) == 2 * 8, "slot 2");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_FlattenOptions) == 3 * 8, "slot 3");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_InflateOptions) == 4 * 8, "slot 4");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_GetActiveExtent) == 6 * 8, "slot 6");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_GetInSpecInfo) == 7 * 8, "slot 7");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_DrawSparseFrame) == 8 * 8, "slot 8");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_InqNextFrameTime) == 13 * 8, "slot 13");
static_assert(offsetof(AEIO_FunctionBlock4, AEIO_CloseSourceFiles) == 39 * 8, "slot 39");
