-- Run by the owner of the checks' database (sma_owner, see sma-owner.sql)
-- once the schema is made, and again after a new version of the tester has
-- brought the schema forward:
--
--     sma-check --sync --db postgresql://sma_owner@HOST/sma_checks   (makes the schema)
--     psql -v ON_ERROR_STOP=1 -U sma_owner -h HOST -d sma_checks -f sma-bench.sql
--
-- The benches' group sma_bench may then read every check, add checks, and
-- revise its own open ones (a check stays open to the role that recorded it
-- for a day, which the schema's row policies see to); it may not drop or
-- alter a table, delete a check, or change the schema's version. Each bench
-- logs in as a role of its own, so that "its own" means that bench:
--
--     CREATE ROLE bench07 LOGIN IN ROLE sma_bench;
--     \password bench07
--
-- and keeps that password in its ~/.pgpass (or a service file), never in
-- the tester's settings.
\set ON_ERROR_STOP on
DO $$
BEGIN
    IF to_regclass('public.checks') IS NULL THEN
        RAISE EXCEPTION 'The tables are not made yet: run sma-check --sync --db '
                        'postgresql://sma_owner@HOST/DBNAME first.';
    END IF;
END
$$;

REVOKE ALL ON ALL TABLES IN SCHEMA public FROM sma_bench;
GRANT SELECT ON ALL TABLES IN SCHEMA public TO sma_bench;
GRANT INSERT, UPDATE ON checks TO sma_bench;
GRANT USAGE ON SEQUENCE checks_id_seq TO sma_bench;
-- A revision writes a check's lists anew; the row policies keep this to the
-- bench's own open check.
GRANT INSERT, DELETE ON check_commands, check_texts, check_findings, check_traffic TO sma_bench;
