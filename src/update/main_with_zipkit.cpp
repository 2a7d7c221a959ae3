// The update with the updater's own zip component.

#include "archive/zipkit/zipkit.h"
#include "update/archive_journal.h"
#include "update/main.h"

namespace orv {

void Main(Platform& os) {
    ArchiveJournal journal{os.patientFiles()};
    zipkit::Zipkit zipkit{journal, &os.log()};
    MainWith(os, zipkit, journal);
}

} // namespace orv
