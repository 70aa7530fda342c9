// SPDX-License-Identifier: MIT
// The public headers alone, as C++98 through C++20 (tests/CMakeLists.txt).
// With TOVAK_LAYOUT_CHECK_MUST_FAIL defined, one layout check that is false
// shows that the checks still reject in this language mode.
#include "tovakWrapper.h"
#include "tovakWrapperCalls.h"

#ifdef TOVAK_LAYOUT_CHECK_MUST_FAIL
MI_LAYOUT_CHECK(sizeof(MessageRecord) == 0, deliberately_false);
#endif
