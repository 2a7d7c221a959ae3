// Prints the updater's plan, one row a line in the order the updater makes them: the mask, and
// "remove" where the row's entries leave the archive after it, else "keep". The bench makes its
// archives from these rows, so that they never drift apart from the plan.

#include <cstdio>

#include "update/extraction_plan.h"

int main() {
    for (const orv::PlanRow& row : orv::ExtractionPlan(orv::DirsOf("", "", "", ""))) {
        std::printf("%s %s\n", row.mask.c_str(), orv::LeavesArchive(row) ? "remove" : "keep");
    }
    return 0;
}
