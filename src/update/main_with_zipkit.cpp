// The update with the updater's own zip component.

#include "archive/zipkit/zipkit.h"
#include "update/main.h"

namespace orv {

void Main(Platform& os) {
    zipkit::Zipkit zipkit{os.patientFiles(), &os.log()};
    Main(os, zipkit);
}

} // namespace orv
