-- Run once by an administrator of the line's PostgreSQL server (a superuser,
-- or a role that may create roles and databases):
--
--     psql -v ON_ERROR_STOP=1 -f sma-owner.sql
--     psql -v ON_ERROR_STOP=1 -v db=other_name -f sma-owner.sql   (another database name)
--
-- It makes the two roles the tester knows and the database of the line's
-- checks, owned by sma_owner:
--   sma_owner  makes and migrates the schema and alone removes checks; it
--              logs in (give it a password with \password sma_owner);
--   sma_bench  the benches' group: each bench logs in as a role of its own
--              in it (see sma-bench.sql), adds checks, revises its own open
--              check and reads the history.
\set ON_ERROR_STOP on
\if :{?db}
\else
\set db sma_checks
\endif

SELECT NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'sma_owner') AS make_owner \gset
\if :make_owner
CREATE ROLE sma_owner LOGIN;
\endif
SELECT NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'sma_bench') AS make_bench \gset
\if :make_bench
CREATE ROLE sma_bench NOLOGIN;
\endif

SELECT NOT EXISTS (SELECT FROM pg_database WHERE datname = :'db') AS make_db \gset
\if :make_db
CREATE DATABASE :"db" OWNER sma_owner;
\endif
REVOKE ALL ON DATABASE :"db" FROM PUBLIC;
GRANT CONNECT ON DATABASE :"db" TO sma_owner, sma_bench;

\connect :"db"
-- Only the owner makes tables; a bench's role makes none.
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
ALTER SCHEMA public OWNER TO sma_owner;
GRANT USAGE ON SCHEMA public TO sma_bench;
