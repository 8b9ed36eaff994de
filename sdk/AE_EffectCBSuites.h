// The effect-side suites the plug-in uses: host handles, worlds and the
// world copy.
#pragma once

#include "A.h"
#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "SPBasic.h"

// ---- "PF Handle Suite" version 2 -----------------------------------------------

#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion1 2

// No error codes: a failed allocation or lock returns null.
typedef struct PF_HandleSuite1 {
  SPAPI PF_Handle (*host_new_handle)(A_HandleSize size);
  SPAPI void* (*host_lock_handle)(PF_Handle pf_handle);
  SPAPI void (*host_unlock_handle)(PF_Handle pf_handle);
  SPAPI void (*host_dispose_handle)(PF_Handle pf_handle);
  SPAPI A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
  SPAPI PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
} PF_HandleSuite1;

// ---- "PF World Suite" version 2 --------------------------------------------------

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite2 {
  // The new world's pixels are not cleared unless clear_pixB is set.
  SPAPI PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                              PF_PixelFormat pixel_format, PF_EffectWorld* worldP);
  SPAPI PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
  SPAPI PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite2;

// ---- "PF World Transform Suite" version 1 ------------------------------------------

#define kPFWorldTransformSuite "PF World Transform Suite"
#define kPFWorldTransformSuiteVersion1 1

// copy and copy_hq: the whole source into the whole destination of the same
// pixel format when both rectangles are null, resampled when the sizes
// differ (copy_hq more finely).
typedef struct PF_WorldTransformSuite1 {
  void* composite_rect;
  void* blend;
  void* convolve;
  SPAPI PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                       PF_Rect* dst_r);
  SPAPI PF_Err (*copy_hq)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                          PF_Rect* dst_r);
  void* transfer_rect;
  void* transform_world;
} PF_WorldTransformSuite1;
