#pragma once

// The whole server library in one include.
#include "httpserver/Handlers.h"
#include "httpserver/Limits.h"
#include "httpserver/ListenAddress.h"
#include "httpserver/Reply.h"
#include "httpserver/Request.h"
#include "httpserver/Response.h"
#include "httpserver/Server.h"
