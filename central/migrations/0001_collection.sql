-- The collection: offices and their stations, the tables collected (lineages), every test with every
-- version of its row as the collector saw it, the per-trial lines of the timing record, and the
-- collector's own bookkeeping. Everything the collector writes is only ever added to; the current state
-- is a view.

-- Group roles, shared by every database of the server. An office's collector logs in with a role of its
-- own that is a member of tivora_collector (tivora.add_office grants it); the report reads with a
-- member of tivora_report.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tivora_collector') THEN
        CREATE ROLE tivora_collector NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tivora_report') THEN
        CREATE ROLE tivora_report NOLOGIN;
    END IF;
END
$$;

CREATE TABLE tivora.offices (
    office_id serial PRIMARY KEY,
    name text NOT NULL UNIQUE,
    collector_role name NOT NULL,      -- the login role whose collector brings this office's tests
    created_at timestamptz NOT NULL DEFAULT now()
);

CREATE TABLE tivora.stations (
    station_id serial PRIMARY KEY,
    office_id int NOT NULL REFERENCES tivora.offices,
    name text NOT NULL,
    created_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (office_id, name),
    UNIQUE (station_id, office_id)
);

-- One results table through its life: renamed, moved, packed or restored, it stays one lineage,
-- recognised by the tests it holds, never by its path.
CREATE TABLE tivora.lineages (
    lineage_id bigserial PRIMARY KEY,
    office_id int NOT NULL REFERENCES tivora.offices,
    first_path text NOT NULL,          -- where it was first seen, for people only
    created_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (lineage_id, office_id)
);

-- One collecting pass over a lineage that changed something: its key (lineage, pass number) lets only
-- one collector continue a lineage from a given state, and everything the pass added commits with it.
CREATE TABLE tivora.passes (
    lineage_id bigint NOT NULL,
    pass_no int NOT NULL,
    office_id int NOT NULL,
    epoch int NOT NULL,                -- numbering of the table's records in force (see positions)
    records int NOT NULL,              -- records of the table the positions cover after this pass
    file_size bigint NOT NULL,
    header bytea NOT NULL,             -- the table's first 32 bytes as read
    timing_offset bigint NOT NULL,     -- bytes of the timing record dealt with
    station_id int,
    path text NOT NULL,                -- as the collector saw it, for people only
    collector_host text NOT NULL,
    seen_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (lineage_id, pass_no),
    FOREIGN KEY (lineage_id, office_id) REFERENCES tivora.lineages (lineage_id, office_id),
    FOREIGN KEY (station_id, office_id) REFERENCES tivora.stations (station_id, office_id)
);

-- The tables that grow with every test (tests, versions, positions, trials) have no foreign keys: their
-- rows are only ever added, each in the same transaction as the rows it refers to, by the collector's
-- passes, and nothing removes a row; the checks would cost a quarter of the server's time per test.

-- A collected test. Its identity is its content: the SHA-256 of the record it was first seen as,
-- without the deletion flag, within its office; identical rows (a repeated trial run) are told apart by
-- their ordinal.
CREATE TABLE tivora.tests (
    test_id bigserial PRIMARY KEY,
    office_id int NOT NULL,
    content_key bytea NOT NULL,
    ordinal int NOT NULL,
    lineage_id bigint NOT NULL,
    station_id int,
    first_seen_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (office_id, content_key, ordinal)
);
CREATE INDEX tests_lineage ON tivora.tests (lineage_id);

-- Every version of a test's row as it was seen: stored, edited, deleted, undeleted. The 25 fields as
-- typed values (a numeric field that holds no number is NULL, with an issue), the record's bytes, and
-- what was found wrong in it.
CREATE TABLE tivora.versions (
    test_id bigint NOT NULL,
    version_no int NOT NULL,
    office_id int NOT NULL,
    lineage_id bigint NOT NULL,
    pass_no int NOT NULL,
    record_no int NOT NULL,            -- the record it was read from
    seen_at timestamptz NOT NULL DEFAULT now(),
    flag smallint NOT NULL,            -- the deletion flag byte: 32 live, 42 deleted
    deleted boolean NOT NULL,
    content_hash bytea NOT NULL,       -- SHA-256 of the record without its flag byte
    head_hash bytea NOT NULL,          -- SHA-256 of the identity fields' bytes (PRIJM to DATE)
    lists_hash bytea NOT NULL,         -- SHA-256 of the reaction-time lists' bytes (SER1A to SER4B)
    raw bytea COMPRESSION lz4 NOT NULL, -- the whole record, flag byte first
    surname text, first_name text, rc_1 text, rc_2 text, date_text text,
    birth_key text,                    -- digits of RC_1 and RC_2
    test_date date,                    -- DATE read as a date; NULL with an issue when it is none
    count_1 bigint, count_2 bigint, count_3 bigint, count_4 bigint,
    mean_1 double precision, mean_2 double precision, mean_3 double precision, mean_4 double precision,
    premature_1 bigint, premature_2 bigint, premature_3 bigint, premature_4 bigint,
    ser1a text, ser1b text, ser2a text, ser2b text, ser3a text, ser3b text, ser4a text, ser4b text,
    issues text[] NOT NULL DEFAULT '{}',
    has_error boolean NOT NULL DEFAULT false,
    PRIMARY KEY (test_id, version_no)
);
CREATE INDEX versions_content ON tivora.versions (office_id, content_hash);
CREATE INDEX versions_person ON tivora.versions (birth_key);
CREATE INDEX versions_office_date ON tivora.versions (office_id, test_date);
CREATE INDEX versions_date ON tivora.versions (test_date);

-- Which test each record of a lineage holds. A new epoch begins when the records were renumbered (a
-- packed table, an older copy, a restored backup); earlier epochs stay as they were.
CREATE TABLE tivora.positions (
    lineage_id bigint NOT NULL,
    epoch int NOT NULL,
    record_no int NOT NULL,
    office_id int NOT NULL,
    test_id bigint NOT NULL,
    pass_no int NOT NULL,
    PRIMARY KEY (lineage_id, epoch, record_no)
);

-- The timing record's lines of a test, attached only when their stored reaction times are the row's.
CREATE TABLE tivora.trials (
    test_id bigint NOT NULL,
    line int NOT NULL,                 -- program line of the trial
    office_id int NOT NULL,
    test_time text,
    block text,
    series smallint,
    foreperiod_programmed_ms bigint,
    foreperiod_measured_us bigint,
    onset_us bigint,
    response_us bigint,
    rt_us bigint,
    rt_stored_ms bigint,
    premature bigint,
    input text,
    response_stamp text,
    onset_stamp text,
    seen_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (test_id, line)
);

-- What a pass found worth telling: a table packed or replaced, tests no longer in it, a timing record
-- that does not belong to the table, damaged rows.
CREATE TABLE tivora.events (
    lineage_id bigint NOT NULL,
    pass_no int NOT NULL,
    seq int NOT NULL,
    office_id int NOT NULL,
    kind text NOT NULL,
    record_no int,
    test_id bigint,
    detail text NOT NULL,
    seen_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (lineage_id, pass_no, seq),
    FOREIGN KEY (lineage_id, office_id) REFERENCES tivora.lineages (lineage_id, office_id)
);

-- The current state: the last version of every test.
CREATE VIEW tivora.current_tests AS
SELECT t.test_id, t.office_id, o.name AS office, t.station_id, s.name AS station, t.lineage_id, t.first_seen_at,
       v.version_no, v.seen_at AS version_seen_at, v.record_no, v.deleted, v.surname, v.first_name, v.rc_1, v.rc_2,
       v.date_text, v.birth_key, v.test_date, v.count_1, v.count_2, v.count_3, v.count_4, v.mean_1, v.mean_2,
       v.mean_3, v.mean_4, v.premature_1, v.premature_2, v.premature_3, v.premature_4, v.ser1a, v.ser1b, v.ser2a,
       v.ser2b, v.ser3a, v.ser3b, v.ser4a, v.ser4b, v.issues, v.has_error
FROM tivora.tests t
JOIN tivora.versions v ON v.test_id = t.test_id
JOIN tivora.offices o ON o.office_id = t.office_id
LEFT JOIN tivora.stations s ON s.station_id = t.station_id
WHERE NOT EXISTS (SELECT 1 FROM tivora.versions n WHERE n.test_id = v.test_id AND n.version_no > v.version_no);

-- Registers an office and lets the login role `role` collect for it. For the administrator only.
CREATE FUNCTION tivora.add_office(office text, role name) RETURNS int
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
DECLARE
    id int;
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = role) THEN
        RAISE EXCEPTION 'There is no role %: create it first (CREATE ROLE % LOGIN)', role, role;
    END IF;
    EXECUTE format('GRANT tivora_collector TO %I', role);
    INSERT INTO tivora.offices (name, collector_role) VALUES (office, role)
    ON CONFLICT (name) DO UPDATE SET collector_role = excluded.collector_role
    RETURNING office_id INTO id;
    RETURN id;
END
$$;
REVOKE ALL ON FUNCTION tivora.add_office(text, name) FROM PUBLIC;

-- Privileges. The collector adds rows and reads back only what it needs to match rows to tests, of its
-- own office's rows only: never names, birth numbers or the records' bytes, never another office's rows.
-- It cannot change or remove anything. The report reads everything.
GRANT USAGE ON SCHEMA tivora TO tivora_collector, tivora_report;
GRANT SELECT ON ALL TABLES IN SCHEMA tivora TO tivora_report;

GRANT SELECT ON tivora.migrations TO tivora_collector;
GRANT SELECT (office_id, name, collector_role) ON tivora.offices TO tivora_collector;
GRANT SELECT, INSERT ON tivora.stations, tivora.lineages, tivora.passes, tivora.positions TO tivora_collector;
GRANT INSERT ON tivora.events TO tivora_collector;
GRANT SELECT (test_id, office_id, content_key, ordinal, lineage_id), INSERT ON tivora.tests TO tivora_collector;
GRANT SELECT (test_id, version_no, office_id, lineage_id, record_no, flag, deleted, content_hash, head_hash, lists_hash),
      INSERT ON tivora.versions TO tivora_collector;
GRANT SELECT (test_id, line, office_id), INSERT ON tivora.trials TO tivora_collector;
GRANT USAGE ON SEQUENCE tivora.stations_station_id_seq, tivora.lineages_lineage_id_seq, tivora.tests_test_id_seq
    TO tivora_collector;

-- Row-level security: a collector sees and adds rows of the offices whose collector role it is.
ALTER TABLE tivora.stations ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.lineages ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.passes ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.tests ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.versions ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.positions ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.trials ENABLE ROW LEVEL SECURITY;
ALTER TABLE tivora.events ENABLE ROW LEVEL SECURITY;

DO $$
DECLARE
    name text;
BEGIN
    FOREACH name IN ARRAY ARRAY['stations', 'lineages', 'passes', 'tests', 'versions', 'positions', 'trials',
                                'events'] LOOP
        EXECUTE format('CREATE POLICY own_office ON tivora.%I TO tivora_collector '
                       'USING (office_id IN (SELECT office_id FROM tivora.offices WHERE collector_role = current_user)) '
                       'WITH CHECK (office_id IN (SELECT office_id FROM tivora.offices WHERE collector_role = current_user))',
                       name);
        EXECUTE format('CREATE POLICY read_all ON tivora.%I FOR SELECT TO tivora_report USING (true)', name);
    END LOOP;
END
$$;
