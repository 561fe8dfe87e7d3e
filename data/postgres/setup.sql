-- The records table for stations that share one PostgreSQL database.
-- Run once per database by a superuser (or the database's owner with
-- CREATEROLE):  psql -v ON_ERROR_STOP=1 -d quillon -f setup.sql
-- Running it again changes nothing. Everything lands in the first schema of
-- the search path (normally "public").

-- Two group roles; people log in as their own roles and are made members.
--   quillon_owner: owns the table; moves a folder's records in (sets the ID
--                  sequence), changes the table's definition.
--   quillon_clerk: a scoring station: reads, adds, stores and deletes rows,
--                  nothing else (no TRUNCATE, no ALTER, no DROP).
-- Creating a role that exists is an error, and two installs may race, so the
-- whole setup is one transaction under an advisory lock.
BEGIN;
-- "already exists, skipping" on a second run is the expected case.
SET LOCAL client_min_messages = warning;
DO $$
BEGIN
  PERFORM pg_advisory_xact_lock(hashtext('quillon setup'));
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quillon_owner') THEN
    CREATE ROLE quillon_owner NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quillon_clerk') THEN
    CREATE ROLE quillon_clerk NOLOGIN;
  END IF;
END
$$;

-- Every field the window shows is text, kept exactly as typed, as in a
-- folder's own records file. ID is given by the server and never chosen by a
-- station (ALWAYS): only the move of a folder's records keeps the IDs it
-- brings, through OVERRIDING SYSTEM VALUE.
-- version counts the changes of a row; a station stores a row only when the
-- version is still the one it read. It is bumped by the trigger below rather
-- than by each UPDATE, so a change made by hand in psql is noticed too, and
-- unlike xmin it survives a dump and restore and never wraps.
CREATE TABLE IF NOT EXISTS info (
  id      bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  lname   text,
  rank    text,
  ssn     text,
  sex     text,
  dob     text,
  dot     text,
  raw_pu  text,
  raw_su  text,
  run_m   text,
  run_s   text,
  c_pu    text,
  c_su    text,
  c_run   text,
  total   text,
  stat    text,
  profile text,
  remark  text,
  version bigint NOT NULL DEFAULT 1
);
-- The unit a three-event record belongs to. The window never shows it: the
-- server fills it from the adding clerk's unit, and only an administrator
-- changes it (see the per-unit access below). A server set up before it
-- existed gains it here, every row unassigned.
ALTER TABLE info ADD COLUMN IF NOT EXISTS unit text;

CREATE OR REPLACE FUNCTION info_next_version() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  NEW.version := OLD.version + 1;
  RETURN NEW;
END
$$;

DROP TRIGGER IF EXISTS info_next_version ON info;
CREATE TRIGGER info_next_version BEFORE UPDATE ON info
  FOR EACH ROW EXECUTE FUNCTION info_next_version();

-- A new row starts at version 1, and a clerk cannot hand out an ID the
-- sequence has not reached yet (OVERRIDING SYSTEM VALUE needs no privilege
-- of its own): a later add would then collide with it. IDs at or below the
-- sequence's last value are either taken (the key refuses them) or were
-- deleted, and no add will ever come back to them.
CREATE OR REPLACE FUNCTION info_check_new_row() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  IF NEW.id > coalesce(pg_sequence_last_value(pg_get_serial_sequence(format('%I.%I', TG_TABLE_SCHEMA, TG_TABLE_NAME), 'id')::regclass), 0)
     AND NOT pg_has_role('quillon_owner', 'MEMBER') THEN
    RAISE EXCEPTION 'ID % is not given by the server', NEW.id USING ERRCODE = 'insufficient_privilege';
  END IF;
  NEW.version := 1;
  RETURN NEW;
END
$$;

DROP TRIGGER IF EXISTS info_check_new_row ON info;
CREATE TRIGGER info_check_new_row BEFORE INSERT ON info
  FOR EACH ROW EXECUTE FUNCTION info_check_new_row();

-- The name order of the row source: ASCII letters folded, then byte order,
-- blank names first, which is how a folder's records file orders them. The
-- stations' query uses this very expression so that the index serves it.
CREATE INDEX IF NOT EXISTS info_lname_order ON info ((lower(lname COLLATE "C")) NULLS FIRST, id);
CREATE INDEX IF NOT EXISTS info_ssn ON info (ssn);
CREATE INDEX IF NOT EXISTS info_dot ON info (dot);

ALTER TABLE info OWNER TO quillon_owner;
ALTER FUNCTION info_next_version() OWNER TO quillon_owner;
ALTER FUNCTION info_check_new_row() OWNER TO quillon_owner;

REVOKE ALL ON info FROM PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON info TO quillon_clerk;
DO $$
BEGIN
  EXECUTE format('GRANT USAGE ON SCHEMA %I TO quillon_clerk, quillon_owner', current_schema());
  EXECUTE format('GRANT USAGE ON SEQUENCE %s TO quillon_clerk', pg_get_serial_sequence('info', 'id'));
END
$$;

-- The five-event test records: one row per soldier per date of test, every
-- event's raw result, points, verdict and grader, the body composition as
-- entered. Times are whole seconds, dates YYYY-MM-DD text as in a folder's
-- file. test_group is the test day a row was entered under (none for a row
-- entered alone). Several lanes write different fields of one row at once:
-- a station compares only the fields it writes (the row is locked while it
-- does), and version, bumped by the trigger, tells any change at all.
CREATE TABLE IF NOT EXISTS fitness_tests (
  id              bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  test_group      integer,
  name            text,
  rank            text,
  ssn             text,
  sex             text,
  dob             text,
  unit            text,
  mos             text,
  pay_grade       text,
  test_name       text,
  edition         text,
  standard        text,
  test_date       text,
  deadlift_1      integer,
  deadlift_2      integer,
  pushup          integer,
  sdc_s           integer,
  plank_s         integer,
  run_s           integer,
  deadlift_pts    integer,
  pushup_pts      integer,
  sdc_pts         integer,
  plank_pts       integer,
  run_pts         integer,
  deadlift_go     text,
  pushup_go       text,
  sdc_go          text,
  plank_go        text,
  run_go          text,
  alt_event       text,
  alt_time_s      integer,
  alt_pts         integer,
  alt_go          text,
  total_pts       integer,
  result_go       text,
  bc_date         text,
  height_in       numeric,
  weight_lb       numeric,
  weight_go       text,
  body_fat_pct    numeric,
  body_fat_go     text,
  grader_deadlift text,
  grader_pushup   text,
  grader_sdc      text,
  grader_plank    text,
  grader_run      text,
  grader_alt      text,
  oic_ncoic_name  text,
  remark          text,
  version         bigint NOT NULL DEFAULT 1
);

DROP TRIGGER IF EXISTS fitness_tests_next_version ON fitness_tests;
CREATE TRIGGER fitness_tests_next_version BEFORE UPDATE ON fitness_tests
  FOR EACH ROW EXECUTE FUNCTION info_next_version();

-- One record per soldier per date of test.
CREATE UNIQUE INDEX IF NOT EXISTS fitness_tests_soldier_date ON fitness_tests (ssn, test_date) WHERE ssn <> '';
CREATE INDEX IF NOT EXISTS fitness_tests_group ON fitness_tests (test_group);
-- The DoD ID number (ten digits), the soldier's identifier where the SSN may
-- be left out; a server set up before gains it empty for every record. One
-- record per soldier per date by it too, and a soldier's records found by it
-- (an index of its own, not partial, so that a lookup with the number as a
-- parameter uses it).
ALTER TABLE fitness_tests ADD COLUMN IF NOT EXISTS dod_id text;
CREATE UNIQUE INDEX IF NOT EXISTS fitness_tests_dod_id_date ON fitness_tests (dod_id, test_date) WHERE dod_id <> '';
CREATE INDEX IF NOT EXISTS fitness_tests_dod_id ON fitness_tests (dod_id);
CREATE INDEX IF NOT EXISTS fitness_tests_unit ON fitness_tests (unit);

ALTER TABLE fitness_tests OWNER TO quillon_owner;
REVOKE ALL ON fitness_tests FROM PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON fitness_tests TO quillon_clerk;
DO $$
BEGIN
  EXECUTE format('GRANT USAGE ON SEQUENCE %s TO quillon_clerk', pg_get_serial_sequence('fitness_tests', 'id'));
END
$$;

-- What changed since a station last looked: every add or change of a
-- five-event record, however it was made (a station, an import, psql),
-- leaves the number of the transaction that made it, so a station asks for
-- what changed in its group since its last look in one indexed read instead
-- of reading each soldier again. Kept by the server alone: clerks only read
-- it. A deleted record leaves its row behind (no station asks for it). The
-- numbers are this cluster's: a database restored elsewhere only costs its
-- stations a few rows read again until they no longer come after the mark.
CREATE TABLE IF NOT EXISTS fitness_changes (
  record_id bigint PRIMARY KEY,
  change_no xid8 NOT NULL
);
CREATE INDEX IF NOT EXISTS fitness_changes_since ON fitness_changes (change_no);
ALTER TABLE fitness_changes OWNER TO quillon_owner;
REVOKE ALL ON fitness_changes FROM PUBLIC;
GRANT SELECT ON fitness_changes TO quillon_clerk;

-- Runs with its owner's rights, on fitness_tests only: no one can fire it
-- from a table of their own to mark records changed.
CREATE OR REPLACE FUNCTION fitness_tests_note_change() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER AS $$
BEGIN
  IF TG_RELID <> 'fitness_tests'::regclass THEN
    RAISE EXCEPTION 'Changes are counted for the records only' USING ERRCODE = 'insufficient_privilege';
  END IF;
  INSERT INTO fitness_changes (record_id, change_no) VALUES (NEW.id, pg_current_xact_id())
  ON CONFLICT (record_id) DO UPDATE SET change_no = excluded.change_no;
  RETURN NULL;
END
$$;
ALTER FUNCTION fitness_tests_note_change() OWNER TO quillon_owner;
REVOKE ALL ON FUNCTION fitness_tests_note_change() FROM PUBLIC;
DO $$
BEGIN
  EXECUTE format('ALTER FUNCTION fitness_tests_note_change() SET search_path = %I, pg_catalog, pg_temp',
                 current_schema());
END
$$;
DROP TRIGGER IF EXISTS fitness_tests_changes ON fitness_tests;
CREATE TRIGGER fitness_tests_changes AFTER INSERT OR UPDATE ON fitness_tests
  FOR EACH ROW EXECUTE FUNCTION fitness_tests_note_change();

-- Test groups of the five-event test: who tests on which day where, under
-- which standard, in the clerk's order. A group is saved whole (its row
-- locked, its members replaced) by one station at a time. The group itself
-- (a date and a place) is shared by every clerk of the database, but its
-- members are held to units like the records: a group gathering soldiers of
-- several units shows each unit's clerk their own, and a save replaces only
-- the members the saving clerk sees.
CREATE TABLE IF NOT EXISTS test_groups (
  id        bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  test_date text NOT NULL,
  location  text NOT NULL,
  version   bigint NOT NULL DEFAULT 1
);
DROP TRIGGER IF EXISTS test_groups_next_version ON test_groups;
CREATE TRIGGER test_groups_next_version BEFORE UPDATE ON test_groups
  FOR EACH ROW EXECUTE FUNCTION info_next_version();
-- A member is known by the SSN, the DoD ID or both: each is empty text when
-- unknown (never no value, so the key can hold it), one of the two is there,
-- and each one given is in the group once.
CREATE TABLE IF NOT EXISTS test_group_members (
  group_id  bigint NOT NULL REFERENCES test_groups (id) ON DELETE CASCADE,
  position  integer NOT NULL,
  ssn       text NOT NULL DEFAULT '',
  name      text,
  sex       text,
  dob       text,
  unit      text,
  standard  text NOT NULL,
  rank      text,
  dod_id    text NOT NULL DEFAULT '',
  PRIMARY KEY (group_id, ssn, dod_id)
);
-- A server set up before: members were keyed by their SSN alone, and had no
-- rank and no DoD ID. Every member kept stays as it was.
ALTER TABLE test_group_members ADD COLUMN IF NOT EXISTS rank text;
ALTER TABLE test_group_members ADD COLUMN IF NOT EXISTS dod_id text NOT NULL DEFAULT '';
ALTER TABLE test_group_members ALTER COLUMN ssn SET DEFAULT '';
DO $$
DECLARE
  k text;
BEGIN
  SELECT c.conname INTO k FROM pg_constraint c
  WHERE c.conrelid = 'test_group_members'::regclass AND c.contype = 'p'
    AND NOT EXISTS (SELECT FROM pg_attribute a
                    WHERE a.attrelid = c.conrelid AND a.attnum = ANY (c.conkey) AND a.attname = 'dod_id');
  IF k IS NOT NULL THEN
    EXECUTE format('ALTER TABLE test_group_members DROP CONSTRAINT %I', k);
    ALTER TABLE test_group_members ADD PRIMARY KEY (group_id, ssn, dod_id);
  END IF;
  IF NOT EXISTS (SELECT FROM pg_constraint WHERE conrelid = 'test_group_members'::regclass
                 AND conname = 'test_group_members_identified') THEN
    ALTER TABLE test_group_members ADD CONSTRAINT test_group_members_identified CHECK (ssn <> '' OR dod_id <> '');
  END IF;
END
$$;
CREATE UNIQUE INDEX IF NOT EXISTS test_group_members_ssn ON test_group_members (group_id, ssn) WHERE ssn <> '';
CREATE UNIQUE INDEX IF NOT EXISTS test_group_members_dod_id ON test_group_members (group_id, dod_id) WHERE dod_id <> '';
CREATE INDEX IF NOT EXISTS test_group_members_dod_id_key ON test_group_members (dod_id);
ALTER TABLE test_groups OWNER TO quillon_owner;
ALTER TABLE test_group_members OWNER TO quillon_owner;
REVOKE ALL ON test_groups, test_group_members FROM PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON test_groups, test_group_members TO quillon_clerk;
DO $$
BEGIN
  EXECUTE format('GRANT USAGE ON SEQUENCE %s TO quillon_clerk', pg_get_serial_sequence('test_groups', 'id'));
END
$$;

-- Per-unit access to the five-event records. A battalion shares one server;
-- a company clerk sees and changes only the records of their own company,
-- while the battalion's clerks see all. The server enforces it (row-level
-- security), so psql or any other client is held to it as the stations are.
--   quillon_battalion: its members see and change every unit's records.
--   one role per unit, listed in quillon_units with the unit as the records
--   write it (compared with case and outer spaces ignored); its members see
--   and change the records of that unit only, and cannot move a record to
--   another unit or add one for another unit.
-- A clerk in neither sees no five-event record at all (a unit's role that
-- was dropped by hand gives nothing, and no error). Administrators (the
-- table's owner, superusers) are not held to it. The same holds for every
-- other table naming a soldier: the three-event records (info, by the unit
-- the server keeps for each row) and the members of test groups once the
-- first unit is listed, and the trail of changes.
-- A unit is added by an administrator with
--   SELECT quillon_add_unit('A CO 1-5 IN', 'quillon_unit_a');
--   GRANT quillon_unit_a TO alice;
DO $$
BEGIN
  PERFORM pg_advisory_xact_lock(hashtext('quillon setup'));
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quillon_battalion') THEN
    CREATE ROLE quillon_battalion NOLOGIN;
  END IF;
END
$$;
GRANT quillon_clerk TO quillon_battalion;

CREATE TABLE IF NOT EXISTS quillon_units (
  unit text PRIMARY KEY CHECK (unit = upper(btrim(unit)) AND unit <> ''),
  role name NOT NULL
);
ALTER TABLE quillon_units OWNER TO quillon_owner;
REVOKE ALL ON quillon_units FROM PUBLIC;
-- The policy reads it as the clerk, so every clerk may read (not change) it.
GRANT SELECT ON quillon_units TO quillon_clerk;

-- Makes the unit's role where it is missing (never able to log in; people
-- are made its members) and lists it for the unit. Running it again for
-- the same unit changes nothing; naming another role moves the unit to it.
CREATE OR REPLACE FUNCTION quillon_add_unit(unit_name text, role_name name) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
  IF btrim(coalesce(unit_name, '')) = '' THEN
    RAISE EXCEPTION 'A unit needs a name';
  END IF;
  PERFORM pg_advisory_xact_lock(hashtext('quillon setup'));
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = role_name) THEN
    EXECUTE format('CREATE ROLE %I NOLOGIN', role_name);
  END IF;
  IF NOT pg_has_role(role_name, 'quillon_clerk', 'MEMBER') THEN
    EXECUTE format('GRANT quillon_clerk TO %I', role_name);
  END IF;
  INSERT INTO quillon_units (unit, role) VALUES (upper(btrim(unit_name)), role_name)
    ON CONFLICT (unit) DO UPDATE SET role = EXCLUDED.role;
END
$$;
ALTER FUNCTION quillon_add_unit(text, name) OWNER TO quillon_owner;
REVOKE ALL ON FUNCTION quillon_add_unit(text, name) FROM PUBLIC;

-- The units the clerk reaches, as quillon_units writes them: those whose
-- role the clerk is a member of. Policies read it once per statement (as
-- "(SELECT ...)") rather than once per row.
CREATE OR REPLACE FUNCTION quillon_my_units() RETURNS text[]
LANGUAGE sql STABLE AS $$
  SELECT coalesce(array_agg(u.unit), '{}')
  FROM quillon_units u JOIN pg_roles r ON r.rolname = u.role
  WHERE pg_has_role(r.oid, 'MEMBER')
$$;
ALTER FUNCTION quillon_my_units() OWNER TO quillon_owner;

-- The unit a three-event record added by this clerk belongs to: theirs, or
-- the first by name of theirs when they hold several; none for a clerk of no
-- unit (a battalion clerk's additions wait for an administrator to assign them).
CREATE OR REPLACE FUNCTION quillon_clerk_unit() RETURNS text
LANGUAGE sql STABLE AS $$
  SELECT min(u) FROM unnest(quillon_my_units()) u
$$;
ALTER FUNCTION quillon_clerk_unit() OWNER TO quillon_owner;

-- The server decides a three-event record's unit: a clerk can neither choose
-- it on an add nor change it; an administrator assigns it, for a new row or
-- one that exists (UPDATE info SET unit = 'A CO 1-5 IN' WHERE ...).
CREATE OR REPLACE FUNCTION info_unit_of_row() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  IF pg_has_role('quillon_owner', 'MEMBER') THEN
    NEW.unit := nullif(upper(btrim(NEW.unit)), '');
  ELSIF TG_OP = 'INSERT' THEN
    NEW.unit := quillon_clerk_unit();
  ELSIF NEW.unit IS DISTINCT FROM OLD.unit THEN
    RAISE EXCEPTION 'Only an administrator assigns a record to a unit' USING ERRCODE = 'insufficient_privilege';
  END IF;
  RETURN NEW;
END
$$;
ALTER FUNCTION info_unit_of_row() OWNER TO quillon_owner;
DROP TRIGGER IF EXISTS info_unit_of_row ON info;
CREATE TRIGGER info_unit_of_row BEFORE INSERT OR UPDATE ON info
  FOR EACH ROW EXECUTE FUNCTION info_unit_of_row();
CREATE INDEX IF NOT EXISTS info_unit ON info (unit);

-- Functions read by the policies and triggers find this schema's tables
-- whatever the caller's search path.
DO $$
BEGIN
  EXECUTE format('ALTER FUNCTION quillon_my_units() SET search_path = %I, pg_catalog, pg_temp', current_schema());
  EXECUTE format('ALTER FUNCTION quillon_clerk_unit() SET search_path = %I, pg_catalog, pg_temp', current_schema());
  EXECUTE format('ALTER FUNCTION info_unit_of_row() SET search_path = %I, pg_catalog, pg_temp', current_schema());
END
$$;

-- USING: which rows a clerk reads, changes and deletes; WITH CHECK: what a
-- row may hold after an add or a change.
ALTER TABLE fitness_tests ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS fitness_tests_by_unit ON fitness_tests;
CREATE POLICY fitness_tests_by_unit ON fitness_tests
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER'))
         OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]))
  WITH CHECK ((SELECT pg_has_role('quillon_battalion', 'MEMBER'))
              OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]));

-- The three-event records and the groups' members were shared by every
-- clerk before units existed, when a database served one company. They stay
-- so until an administrator lists the first unit: from then on each unit
-- sees its own, and what no unit was assigned only the battalion sees.
CREATE OR REPLACE FUNCTION quillon_units_listed() RETURNS boolean
LANGUAGE sql STABLE AS $$
  SELECT EXISTS (SELECT FROM quillon_units)
$$;
ALTER FUNCTION quillon_units_listed() OWNER TO quillon_owner;
DO $$
BEGIN
  EXECUTE format('ALTER FUNCTION quillon_units_listed() SET search_path = %I, pg_catalog, pg_temp', current_schema());
END
$$;

ALTER TABLE info ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS info_by_unit ON info;
CREATE POLICY info_by_unit ON info
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER') OR NOT quillon_units_listed())
         OR unit = ANY ((SELECT quillon_my_units())::text[]))
  WITH CHECK ((SELECT pg_has_role('quillon_battalion', 'MEMBER') OR NOT quillon_units_listed())
              OR unit = ANY ((SELECT quillon_my_units())::text[]));

ALTER TABLE test_group_members ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS test_group_members_by_unit ON test_group_members;
CREATE POLICY test_group_members_by_unit ON test_group_members
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER') OR NOT quillon_units_listed())
         OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]))
  WITH CHECK ((SELECT pg_has_role('quillon_battalion', 'MEMBER') OR NOT quillon_units_listed())
              OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]));

-- A group's deletion takes every member with it, whoever's they are (the
-- cascade is not held to units), so once units are listed only the
-- battalion deletes groups.
ALTER TABLE test_groups ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS test_groups_shared ON test_groups;
CREATE POLICY test_groups_shared ON test_groups FOR SELECT USING (true);
DROP POLICY IF EXISTS test_groups_added ON test_groups;
CREATE POLICY test_groups_added ON test_groups FOR INSERT WITH CHECK (true);
DROP POLICY IF EXISTS test_groups_changed ON test_groups;
CREATE POLICY test_groups_changed ON test_groups FOR UPDATE USING (true) WITH CHECK (true);
DROP POLICY IF EXISTS test_groups_deleted ON test_groups;
CREATE POLICY test_groups_deleted ON test_groups FOR DELETE
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER') OR NOT quillon_units_listed()));

-- What a clerk settled when a laptop's folder was merged: a field where the
-- value here was kept over the folder's, with the folder's value the clerk
-- saw, so that merging the same folder again does not ask again. It names a
-- soldier, so it is held to units as the five-event records are.
CREATE TABLE IF NOT EXISTS merge_settled (
  takeout text NOT NULL,
  record  text NOT NULL,
  field   text NOT NULL,
  value   text,
  unit    text,
  PRIMARY KEY (takeout, record, field)
);
ALTER TABLE merge_settled OWNER TO quillon_owner;
REVOKE ALL ON merge_settled FROM PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON merge_settled TO quillon_clerk;
ALTER TABLE merge_settled ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS merge_settled_by_unit ON merge_settled;
CREATE POLICY merge_settled_by_unit ON merge_settled
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER'))
         OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]))
  WITH CHECK ((SELECT pg_has_role('quillon_battalion', 'MEMBER'))
              OR upper(btrim(unit)) = ANY ((SELECT quillon_my_units())::text[]));

-- The trail of changes to the test results of either test. The server
-- writes it itself, for every add, change and delete however it was made (a
-- station, an import, psql): one row per field that changed, with the value
-- before and after. Who is the database user that logged in (session_user:
-- not the role a clerk switched to, and nothing a clerk can set); station is
-- what the program said it is (application_name) and address the machine
-- it came from (none over the local socket). unit is the record's unit at
-- the time. Clerks only read it; no one but an administrator changes it.
CREATE TABLE IF NOT EXISTS change_trail (
  id           bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  changed_at   timestamptz NOT NULL DEFAULT now(),
  changed_by   text NOT NULL,
  station      text,
  address      text,
  record_table text NOT NULL,
  record_id    bigint NOT NULL,
  unit         text,
  action       text NOT NULL CHECK (action IN ('add', 'change', 'delete')),
  field        text NOT NULL,
  before       text,
  after        text
);
CREATE INDEX IF NOT EXISTS change_trail_record ON change_trail (record_table, record_id, id);
ALTER TABLE change_trail OWNER TO quillon_owner;
REVOKE ALL ON change_trail FROM PUBLIC;
GRANT SELECT ON change_trail TO quillon_clerk;

-- Runs with its owner's rights (clerks may not write the trail) on the two
-- record tables only: no one can fire it from a table of their own to write
-- rows of their choosing. An add or a delete always leaves its id, so a
-- record with no value at all is traced too; the version is bookkeeping.
CREATE OR REPLACE FUNCTION quillon_trail_write() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER AS $$
DECLARE
  o jsonb;
  n jsonb;
BEGIN
  IF TG_RELID NOT IN ('info'::regclass, 'fitness_tests'::regclass) THEN
    RAISE EXCEPTION 'The trail is written for the records only' USING ERRCODE = 'insufficient_privilege';
  END IF;
  IF TG_OP <> 'INSERT' THEN o := to_jsonb(OLD); END IF;
  IF TG_OP <> 'DELETE' THEN n := to_jsonb(NEW); END IF;
  INSERT INTO change_trail (changed_by, station, address, record_table, record_id, unit, action, field, before, after)
  SELECT session_user, nullif(current_setting('application_name'), ''), host(inet_client_addr()), TG_TABLE_NAME,
         (coalesce(n, o) ->> 'id')::bigint, nullif(upper(btrim(coalesce(n, o) ->> 'unit')), ''),
         CASE TG_OP WHEN 'INSERT' THEN 'add' WHEN 'UPDATE' THEN 'change' ELSE 'delete' END,
         k, o ->> k, n ->> k
  FROM jsonb_object_keys(coalesce(n, o)) k
  WHERE k <> 'version' AND (k <> 'id' OR TG_OP <> 'UPDATE') AND (o ->> k) IS DISTINCT FROM (n ->> k);
  RETURN NULL;
END
$$;
ALTER FUNCTION quillon_trail_write() OWNER TO quillon_owner;
REVOKE ALL ON FUNCTION quillon_trail_write() FROM PUBLIC;
DO $$
BEGIN
  EXECUTE format('ALTER FUNCTION quillon_trail_write() SET search_path = %I, pg_catalog, pg_temp', current_schema());
END
$$;
DROP TRIGGER IF EXISTS info_trail ON info;
CREATE TRIGGER info_trail AFTER INSERT OR UPDATE OR DELETE ON info
  FOR EACH ROW EXECUTE FUNCTION quillon_trail_write();
DROP TRIGGER IF EXISTS fitness_tests_trail ON fitness_tests;
CREATE TRIGGER fitness_tests_trail AFTER INSERT OR UPDATE OR DELETE ON fitness_tests
  FOR EACH ROW EXECUTE FUNCTION quillon_trail_write();

-- A clerk reads the trail of their own unit's soldiers: the changes made
-- while a record was their unit's, and every change to a record that is
-- theirs now (the subqueries are held to the records' own policies).
ALTER TABLE change_trail ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS change_trail_by_unit ON change_trail;
CREATE POLICY change_trail_by_unit ON change_trail FOR SELECT
  USING ((SELECT pg_has_role('quillon_battalion', 'MEMBER'))
         OR unit = ANY ((SELECT quillon_my_units())::text[])
         OR (record_table = 'fitness_tests' AND EXISTS (SELECT FROM fitness_tests f WHERE f.id = record_id))
         OR (record_table = 'info' AND EXISTS (SELECT FROM info i WHERE i.id = record_id)));

COMMIT;

-- A soldier's records by SSN, for their history and cards: an SSN is kept as
-- given ("123-45-6789" or "123456789"), so the index holds its digits alone.
-- The stations' queries use these very expressions so that the index serves
-- them.
BEGIN;
SET LOCAL client_min_messages = warning;
SELECT pg_advisory_xact_lock(hashtext('quillon setup'));
CREATE INDEX IF NOT EXISTS info_ssn_key ON info ((regexp_replace(ssn, '[^0-9]', '', 'g')));
CREATE INDEX IF NOT EXISTS fitness_tests_ssn_key ON fitness_tests ((regexp_replace(ssn, '[^0-9]', '', 'g')));
COMMIT;
