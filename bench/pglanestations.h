#pragma once
// Fifty lane stations on one records server (bench_pgstations lanes): the
// server's CPU while they idle, with and without the records' change
// counter, and the time of a lane store against as many bare clients
// sending the same statement beside them.

// Runs it on a fresh scratch schema; 0 when every check held, else 1.
int measureLanes();
