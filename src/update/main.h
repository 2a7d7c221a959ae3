#pragma once

#include "archive/zip_component.h"
#include "platform/platform.h"

namespace orv {

// The whole update, from start to end, with the updater's own zip component. Returns when
// the program is to end.
void Main(Platform& os);

// The same with another zip component.
void Main(Platform& os, ZipComponent& zip);

class ArchiveJournal;
// The same with a zip component that changes the archive through the journal's files, so that
// the run's record notes each change before it is made.
void MainWith(Platform& os, ZipComponent& zip, ArchiveJournal& journal);

} // namespace orv
