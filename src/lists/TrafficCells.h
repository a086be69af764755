#pragma once

// The cells of the traffic columns: exact byte counts and rates as decimal
// text, empty where there is none.

#include "ListRow.h"
#include "TrafficTracker.h"
#include "platform/SocketTableApi.h"

// Updates the tracker from the TCP rows of one fetch with traffic; an empty
// view when a TCP table could not be read, since the tracker would take its
// sockets for closed.
TrafficView TakeTraffic(TrafficTracker& tracker, const platform::EndpointTables& tables);

// Sent, Received and Rate of a connection row; each option appends all its
// cells, empty ones too, so the next option's cells stay in their columns.
void AppendConnectionTraffic(ListRow& row, const std::optional<platform::TcpByteCounts>& bytes,
                             std::optional<uint64_t> rate);

// Net rate and Net total on each process row, from a fresh TCP fetch; empty
// for a process that has had no TCP socket since watching began.
void AddProcessTraffic(ListRows& rows, platform::SocketTableApi& sockets, TrafficTracker& tracker);
