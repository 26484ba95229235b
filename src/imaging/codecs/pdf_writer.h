// The PDF writer: raster pages, one image each.
#pragma once

#include <memory>

#include "imaging/codecs/image_writer.h"

std::unique_ptr<ImageWriter> MakePdfWriter(ByteSink& sink);
