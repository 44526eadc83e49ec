// The internet client a test program runs with (TestMain.cpp): started
// before the first test and ended after the last. A test of the client's
// own end may end it, and starts it again for the tests after it.
#pragma once

namespace testmain {

void EndInternetClient();
// Does nothing while one is alive.
void StartInternetClient();

}  // namespace testmain
