// The desktop program's look: one style everywhere and a font that has the Chinese captions' glyphs.
#pragma once

namespace tarvel {

void SetUpApplicationLook();

}  // namespace tarvel
