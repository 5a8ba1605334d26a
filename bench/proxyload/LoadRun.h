#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "proxyload/LoadOptions.h"
#include "proxyload/ResponseReader.h"

namespace proxyload {

/// The outcome of one request on its own connection.
struct RequestResult {
    Failure failure = Failure::None;
    int status = 0; // the response's status, 0 when none came
    int osError = 0; // errno of a connect, send or receive failure
    uint32_t latencyUs = 0; // from the connect to the last byte (or the failure)
};

/// Makes one request on a new connection and reads the whole response, all within
/// options.timeoutMs. expectedBody may be null (no body check). Any thread.
RequestResult RunOneRequest(const LoadOptions& options, const std::string& request, const std::string* expectedBody);

/// Figures of a run. Only requests started after the warm-up are counted.
struct LoadReport {
    uint64_t succeeded = 0;
    uint64_t failed = 0;
    std::array<uint64_t, kFailureKinds> failures{}; // by Failure value
    std::string firstFailure; // a readable example, empty when none
    double seconds = 0; // measured time, until the last request ended
    double rate = 0; // successful requests per second
    std::vector<uint32_t> latenciesUs; // of the successful requests
};

/// Runs options.connections client threads for the warm-up and the measured time
/// (or until maxRequests counted requests), each making one request after another.
/// Blocks until every thread has ended; no request outlives its time-out.
LoadReport RunLoad(const LoadOptions& options, const std::string* expectedBody);

/// "status 502", "connect: Connection refused", ... for a failed request.
std::string DescribeFailure(const RequestResult& result);

} // namespace proxyload
