// The interlace label of footage. Packed to two bytes, as the host keeps it.
#pragma once

#include <cstdint>

typedef uint32_t FIEL_Type;
typedef uint32_t FIEL_Order;

// 'FIEL' as a four-character literal: first character in the most
// significant byte.
#define FIEL_Tag 0x4649454Cu
#define FIEL_Label_VERSION 1

enum {
  FIEL_Type_FRAME_RENDERED = 0,
  FIEL_Type_INTERLACED = 1,
  FIEL_Type_HALF_HEIGHT = 2,
  FIEL_Type_FIELD_DOUBLED = 3,
};
enum {
  FIEL_Order_UPPER_FIRST = 0,
  FIEL_Order_LOWER_FIRST = 1,
};

#pragma pack(push, 2)
typedef struct {
  uint32_t signature;
  int16_t version;
  FIEL_Type type;
  FIEL_Order order;
  uint32_t reserved;
} FIEL_Label;
#pragma pack(pop)
