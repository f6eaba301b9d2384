// Hands a URL to the user's default program (xdg-open), the way a page's
// new window opens outside the embedded browser.
#ifndef QG_BROWSER_EXTERNAL_OPENER_H_
#define QG_BROWSER_EXTERNAL_OPENER_H_

#include <functional>
#include <string>

namespace qg::web {

// Whether a URL may leave the browser: only http, https and mailto. The page
// chooses the URL, and any other scheme (file:, a registered protocol
// handler) could start a local program.
bool bExternallyOpenable(const std::string& url);

// Opens an openable URL without waiting for the program; false when the URL
// is refused or the program cannot start.
bool OpenExternally(const std::string& url);

// Test hook: receives the URLs in place of the program (empty restores it).
void SetExternalOpenerForTest(std::function<void(const std::string&)> opener);

}  // namespace qg::web

#endif  // QG_BROWSER_EXTERNAL_OPENER_H_
