// Bonds joined by label: after fix evaporate or fix deposit, or in a dump not sorted by id, row a - 1 of a
// frame is not atom a of the bond file.
#include "core/bond_rows.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/scene.h"

namespace {

using LabelRow = std::pair<double, int>;

// The frame's labels with their rows, sorted by label (then row, so a repeated label finds its first row).
std::vector<LabelRow> SortedLabels() {
    std::vector<LabelRow> labels(static_cast<std::size_t>(atoms));
    for (int i = 0; i < atoms; ++i) labels[static_cast<std::size_t>(i)] = {geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_LABEL], i};
    std::sort(labels.begin(), labels.end());
    return labels;
}

int RowOfLabel(const std::vector<LabelRow>& labels, int label) {
    auto found = std::lower_bound(labels.begin(), labels.end(), LabelRow{static_cast<double>(label), -1});
    return found != labels.end() && found->first == label ? found->second : -1;
}

}  // namespace

bool FrameLabelsAreRows() {
    // Before a frame has been read there are no labels to go by.
    if (atoms <= 0 || geom.size() < static_cast<std::size_t>(atoms) * GEOM_STRIDE) return true;
    for (int i = 0; i < atoms; ++i)
        if (geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_LABEL] != i + 1) return false;
    return true;
}

void FindBondRows() {
    bondRows.clear();
    bondsByLabel = !topology.empty() && !FrameLabelsAreRows();
    if (!bondsByLabel) return;
    const std::vector<LabelRow> labels = SortedLabels();
    const int bonds = BondCount();
    bondRows.resize(2 * static_cast<std::size_t>(bonds));
    for (int j = 0; j < bonds; ++j)
        for (int end = 0; end < 2; ++end)
            bondRows[2 * static_cast<std::size_t>(j) + end] = RowOfLabel(labels, topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE + end]);
}
