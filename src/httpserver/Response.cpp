#include "httpserver/Response.h"

namespace httpserver {

Response Response::Text(int status, std::string line) {
    Response response;
    response.status = status;
    response.body = std::move(line);
    response.body += '\n';
    return response;
}

} // namespace httpserver
