/* stb_image's code for a Windows build of the tests: Debian compiles it
   only for the build machine (libstb), so the cross build compiles the same
   header itself. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
