// The derived quantities beside the file's own, numbered after them.
#include "core/derived_quantities.h"

#include "core/local_order.h"
#include "core/occlusion.h"
#include "core/scene.h"

namespace {

// Each row's module keeps its values and knows when they are stale; this table only numbers them.
bool OcclusionListed() { return ambientOcclusion; }

const std::vector<DerivedQuantity> DERIVED_QUANTITIES = {
    {"occlusion", OcclusionListed, OcclusionFactors, false},
    {"local_S", LocalOrderListed, LocalSValues, false},
    {"domain", LocalOrderListed, DomainValues, true},
};

int FileQuantityCount() { return static_cast<int>(quantityNames.size()); }

// The row of derived quantity number `quantity` (counted after the file's), among the rows listed now.
const DerivedQuantity& ListedRow(int quantity) {
    int wanted = quantity - FileQuantityCount();
    for (const DerivedQuantity& row : DERIVED_QUANTITIES)
        if (row.listed() && wanted-- == 0) return row;
    TableIndexError("quantities", quantity, static_cast<std::size_t>(QuantityCount()));
}

}  // namespace

int QuantityCount() {
    int count = FileQuantityCount();
    for (const DerivedQuantity& row : DERIVED_QUANTITIES)
        if (row.listed()) ++count;
    return count;
}

std::string QuantityName(int quantity) {
    if (quantity >= 0 && quantity < FileQuantityCount()) return quantityNames[static_cast<std::size_t>(quantity)];
    return ListedRow(quantity).name;
}

double QuantityValue(long long atom, int quantity) {
    const long long stride = FileQuantityCount();
    if (quantity >= 0 && quantity < stride) return entry(quantities, atom * stride + quantity, "quantities");
    const DerivedQuantity& row = ListedRow(quantity);
    const std::vector<double>& values = row.values();
    if (atom < 0 || atom >= static_cast<long long>(values.size())) TableIndexError(row.name, atom, values.size());
    return values[static_cast<std::size_t>(atom)];
}

bool QuantityCategorical(int quantity) {
    if (quantity >= 0 && quantity < FileQuantityCount()) return false;
    return ListedRow(quantity).categorical;
}

int DerivedQuantityIndex(const std::string& name) {
    int index = FileQuantityCount();
    for (const DerivedQuantity& row : DERIVED_QUANTITIES) {
        if (!row.listed()) continue;
        if (name == row.name) return index;
        ++index;
    }
    return -1;
}
