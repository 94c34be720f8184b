// The frame's side of decoding ahead: which files to decode, and the start-up order that shows
// the first picture before its folder is read.
#pragma once

#include <string>
#include <vector>

#include "frame/commands.h"

namespace qp {

// Asks the prefetch loader for the neighbours of the current file, the next one in the
// direction of travel (1 forwards, -1 backwards) first, then the one behind, within the
// budget "PrefetchMemoryMB" read now. Nothing without a loader.
void PrefetchNeighbours(FrameContext& ctx, int direction);

// The first picture is on screen: read its folder into the file list now, fill the position
// pane, and start decoding ahead. Two or more `namedFiles` (the files named on the command
// line, as absolute paths) are the list instead of the folder, as a list file's entries would be.
void ScanFolderAfterFirstPicture(FrameContext& ctx, const std::vector<std::string>& namedFiles = {});

}  // namespace qp
