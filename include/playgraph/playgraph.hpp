#pragma once

/// The whole public interface of the playgraph library.

#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/OrderedMap.hpp"
#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZMutablePlaygraph.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/QZPlaygraphSegmentExitZone.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/PlaygraphBase.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentExitZone.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"
#include "playgraph/platform/Uuid.hpp"
