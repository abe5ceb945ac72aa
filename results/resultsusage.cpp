// converter-results --help: its commands, options and exit statuses.

#include "resultsoptions.h"

namespace results {

const char *const usageText = R"(Usage: converter-results [--store FILE] COMMAND [OPTION]...
Answers from the results store that converter-check records every unit's run in.

Commands:
  history UNIT        every run of that unit, oldest first: attempt, run id, start,
                      station, operator, verdict and the lines that failed
  runs                the runs of a period: --since, --until, --station S, --verdict V
                      (pass, fail, intermittent, incomplete, interrupted), --unit UNIT
                      (read in upper case, as ids are filed; --unit-case exact: as typed)
  yield               units, runs, first-pass yield, last-pass yield, true run yield and
                      retest rate of the units first tested in the period; --by day,
                      shift, station, operator, slot, port, fixture or adapter gives one
                      row a group (a unit in the group of its first attempt)
  slots               which slot of each station is to blame (--by fixture or adapter: which
                      fixture or adapter): each slot's runs and failed or
                      intermittent ones against the pooled rate of the station's other slots
                      (a one-sided binomial test), the units that failed there and passed in
                      another slot, and its state: ok, watch or suspect
  pareto              each line test with the units it failed and the units where it was
                      intermittent, most first, and the units with an incomplete run;
                      --by slot, port, fixture or adapter: each group's rows
  fixtures            each slot's and fixture's runs (matings of its connector) since its
                      maintenance and in all, its counter's limits and last maintenance
  maintenance NAME    --note TEXT [--operator WHO] [--station S]: slot or fixture NAME was
                      serviced; its running count starts again (the only other command that
                      writes the store; pushed to the plant's maintenance table)
  plant-schema        prints the plant database's schema script, for a DBA to run as the
                      tables' owner; push then needs only SELECT, INSERT and UPDATE on them
  timing              each port's control chart of its runs' median round trips (--by slot:
                      each slot's): individuals and moving range, the centre line and
                      limits from the first 25 runs of the period (sigma within = mean
                      moving range / 1.128), the Western Electric rules 1 to 4 that fired,
                      and from 25 runs on CpU (sigma within) and PpU (overall) against the
                      runs' round-trip limit or --max-round-trip MS
  export              every run of the period with its line results: --format csv or jsonl
  backup FILE         writes the store, with every run committed, to the new file FILE: one
                      file, whole, for a copy elsewhere (the store itself may have its
                      latest runs in results.sqlite-wal beside it)
  push URL            copies the runs not yet forwarded into the plant's PostgreSQL
                      database (URL as libpq takes it: postgresql://HOST/DB or
                      "host=HOST dbname=DB"); the only command that writes the store. A run
                      whose data the database refuses is held back, with its reason, and
                      the others are sent; --held lists the runs held back (no URL needed),
                      --retry-held sends them once more

Options:
  --store FILE        the store to read (default: $XDG_DATA_HOME/converter-station/
                      results.sqlite, or ~/.local/share/converter-station/results.sqlite)
  --since DATE        from DATE on: YYYY-MM-DD (from the day's start, in the zone of --tz),
                      YYYY-MM-DDTHH:MM:SSZ (UTC), today or yesterday
  --until DATE        up to DATE: a day includes the whole day, a time is not included
  --tz local|UTC|ZONE the time zone that tells days, for dates, today, yesterday and --by
                      day or shift (default: local, the machine's zone, as the window
                      shows; ZONE as in /usr/share/zoneinfo, such as America/Chicago);
                      times stored and shown stay UTC
  --shifts HH:MM,...  with --by shift: when each shift starts, such as 06:00,14:00,22:00;
                      a shift belongs to the day it starts
  --json              one JSON document instead of a table
  --batch N           push N runs a transaction (default 1000)
  --timeout SECONDS   give up on the plant's database when connecting or a statement takes
                      longer (1 to 3600; default 30)
  --version           show the program's version
  --help              show this text

Exit status:
  0    done
  1    history: no run of that unit is on record (ids that differ by one character
       or in case are named)
  64   bad usage
  66   no store at that path: nothing has been recorded yet
  65   push: the plant's database refused some runs' data; they are held back (--held lists
       them), the others were sent
  69   the plant's database could not be reached, did not answer in time or refused the
       runs; nothing is lost, the next push sends what is left
  73   the store is a symbolic link, or (push) another user's file
  74   the store cannot be read or written (not a results store, a newer schema, corrupt),
       or standard output could not be written
)";

} // namespace results
