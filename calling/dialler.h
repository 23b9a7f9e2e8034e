// Places a call through the channel of its request and owns the modem's
// port. It reports what happened and shows nothing: the window that asked
// decides what the user sees.
#pragma once

#include "calling/dial_sequence.h"

// Dials request.number through request.channel: the softphone's window
// (its program is started when the window is missing, unless request.retry
// says it was started already), the open modem port, or the app registered
// for tel: links.
DialOutcome Dial(const DialRequest& request);

// Opens COM<comPort> at baudRate for the modem and sends "ATE0"; false when
// the port cannot be opened (the modem channel then dials nothing).
bool OpenModemPort(int comPort, int baudRate);

// Closes the modem port if one is open.
void CloseModemPort();
