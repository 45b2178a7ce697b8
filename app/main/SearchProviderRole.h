// The process the session bus starts for the desktop's search: it answers from the search
// index of the account that last loaded its catalogue, hands a chosen result to the
// running program through the one-instance channel (starting the program when none
// runs) and ends after a minute without questions.
#pragma once

int RunSearchProvider();
