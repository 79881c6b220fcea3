#pragma once

// Everything a playgraph answers, written out as text: two playgraphs that
// give the same text answer every query, walk and field alike, to the last
// bit. The tests, the benchmarks' checks and the fuzz targets compare
// playgraphs with it.

#include <string>

#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::testsupport {

/// The playgraph's answers: its fields and every segment's and transition's
/// fields (doubles as exact bit patterns); the time and position queries at
/// every boundary of the default path, just before and after each, and at
/// negative, huge, infinite and not-a-number times; the three walks. Left
/// out: the playgraph id (random for a playgraph without one), the main
/// viewable id (an editable playgraph keeps the first it finds), and
/// the three queries in which the two flavors differ unless `flavorQueries`.
std::string modelAnswers(const PlaygraphBase& playgraph, bool flavorQueries = true);

} // namespace playgraph::testsupport
