#pragma once

// The page of `playgraph serve`, compiled into the tool from tools/serve/page/.

#include <optional>
#include <string_view>

namespace playgraph::tool::serve {

/// The bytes of the page's file at `path` ("/index.html", "/app.js"; every
/// file under tools/serve/page/), or nothing when there is no such file. In
/// /index.html, "{{TOKEN}}" stands where the run's token goes.
std::optional<std::string_view> pageFile(std::string_view path);

} // namespace playgraph::tool::serve
