// The PNG writer.
#pragma once

#include <memory>

#include "imaging/codecs/image_writer.h"

std::unique_ptr<ImageWriter> MakePngWriter(ByteSink& sink);
