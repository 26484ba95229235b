// The JPEG writer, for JFIF files and memory transfers, and for the PDF
// writer's grey and colour pages.
#pragma once

#include <memory>

#include "imaging/codecs/image_writer.h"

std::unique_ptr<ImageWriter> MakeJpegWriter(ByteSink& sink);
