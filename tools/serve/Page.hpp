#pragma once

// The page of `playgraph serve`, compiled into the tool from tools/serve/page/.

#include <string_view>

namespace playgraph::tool::serve {

/// index.html; "{{TOKEN}}" stands where the run's token goes.
std::string_view pageHtml();
std::string_view pageScript(); ///< app.js
std::string_view pageStyle();  ///< app.css

} // namespace playgraph::tool::serve
