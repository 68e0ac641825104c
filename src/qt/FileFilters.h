// File dialog filters: the program writes them as "Description|*.a;*.b|Description|*.*" (1-based
// entries); Qt wants one "Description (*.a *.b)" per entry.
#pragma once

#include <QStringList>

#include <string>

namespace tarvel {

// The Qt name filters of `filter`, one per entry, in order. Patterns match in any letter case, as they
// do where the filters come from ("*.Bin" finds "demo.bin").
QStringList QtNameFilters(const std::string& filter);

}  // namespace tarvel
