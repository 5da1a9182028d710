// Bonds joined by label: after fix evaporate or fix deposit, or in a dump not sorted by id, row a - 1 of a
// frame is not atom a of the bond file.
#include "core/bond_rows.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/scene.h"

namespace {

using LabelRow = std::pair<double, int>;

// Labels up to this many per atom (and a little more) are looked up in a table indexed by label.
constexpr long long LABELS_PER_ATOM = 4;
constexpr long long LABEL_TABLE_SLACK = 1024;

double Label(int i) { return geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_LABEL]; }

// The largest label when every label is a whole number from 1 on (LAMMPS ids), else 0.
long long WholeLabelRange() {
    double largest = 0;
    for (int i = 0; i < atoms; ++i) {
        const double label = Label(i);
        if (!(label >= 1 && label <= 2147483647.0) || label != static_cast<double>(static_cast<long long>(label))) return 0;
        largest = std::max(largest, label);
    }
    return static_cast<long long>(largest);
}

// Rows by label for ids that are not far more than the atoms: one pass, no sorting.
void FindRowsInTable(long long range) {
    std::vector<int> rowOfLabel(static_cast<std::size_t>(range) + 1, -1);
    for (int i = atoms - 1; i >= 0; --i) rowOfLabel[static_cast<std::size_t>(Label(i))] = i;  // a repeated label finds its first row
    for (std::size_t k = 0; k < bondRows.size(); ++k) {
        const int number = topology[k / 2 * TOPOLOGY_STRIDE + k % 2];
        bondRows[k] = number >= 1 && number <= range ? rowOfLabel[static_cast<std::size_t>(number)] : -1;
    }
}

// The frame's labels with their rows, sorted by label (then row, so a repeated label finds its first row).
std::vector<LabelRow> SortedLabels() {
    std::vector<LabelRow> labels(static_cast<std::size_t>(atoms));
    for (int i = 0; i < atoms; ++i) labels[static_cast<std::size_t>(i)] = {Label(i), i};
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
        if (Label(i) != i + 1) return false;
    return true;
}

void FindBondRows() {
    bondRows.clear();
    bondsByLabel = !topology.empty() && !FrameLabelsAreRows();
    if (!bondsByLabel) return;
    const int bonds = BondCount();
    bondRows.resize(2 * static_cast<std::size_t>(bonds));
    const long long range = WholeLabelRange();
    if (range > 0 && range <= LABELS_PER_ATOM * atoms + LABEL_TABLE_SLACK) {
        FindRowsInTable(range);
        return;
    }
    const std::vector<LabelRow> labels = SortedLabels();
    for (int j = 0; j < bonds; ++j)
        for (int end = 0; end < 2; ++end)
            bondRows[2 * static_cast<std::size_t>(j) + end] = RowOfLabel(labels, topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE + end]);
}
