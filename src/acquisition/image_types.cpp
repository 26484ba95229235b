// The image type table: colour-table entries and bits per pixel by index.
#include "acquisition/image_types.h"

const ImageTypeEntry ImageTypeTable[3] = {
    {2, 1},    // "BW Drawing"
    {256, 8},  // "BW Photo"
    {0, 24},   // "Color Photo"
};
