-- The last version of every test, one small row each, in the order the report exports them: so that an
-- export of a million tests walks an index instead of finding the last versions and sorting them first.
-- Versions themselves stay as they were added; this table only points at the last one, and the server
-- keeps it as versions are added, in the same statement.

CREATE TABLE tivora.current_versions (
    test_id bigint PRIMARY KEY,
    version_no int NOT NULL,           -- the last version (tivora.versions)
    office_id int NOT NULL,
    lineage_id bigint NOT NULL,        -- the test's lineage (tivora.tests), as the report orders by it
    station_id int,                    -- the test's station (tivora.tests)
    record_no int NOT NULL,            -- the record the last version was read from
    record_length int NOT NULL,        -- bytes of its record (raw)
    record_kept int NOT NULL,          -- bytes of its record before the blanks that end it, which the report
                                       -- need not be sent
    deleted boolean NOT NULL,
    test_date date                     -- the last version's DATE as a date
);
CREATE INDEX current_versions_order ON tivora.current_versions (office_id, lineage_id, record_no, test_id);

-- Points each test of the versions a statement added at the latest of them. Runs as its owner, so that a
-- collector needs no right to this table; the rows it reads are the ones the collector could add.
CREATE FUNCTION tivora.point_at_new_versions() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
    INSERT INTO tivora.current_versions AS c
        (test_id, version_no, office_id, lineage_id, station_id, record_no, record_length, record_kept, deleted,
         test_date)
    SELECT DISTINCT ON (n.test_id) n.test_id, n.version_no, n.office_id, t.lineage_id, t.station_id, n.record_no,
           octet_length(n.raw), octet_length(rtrim(n.raw, '\x20'::bytea)), n.deleted, n.test_date
    FROM added_versions n
    JOIN tivora.tests t ON t.test_id = n.test_id
    ORDER BY n.test_id, n.version_no DESC
    ON CONFLICT (test_id) DO UPDATE
        SET version_no = excluded.version_no, office_id = excluded.office_id, lineage_id = excluded.lineage_id,
            station_id = excluded.station_id, record_no = excluded.record_no,
            record_length = excluded.record_length, record_kept = excluded.record_kept, deleted = excluded.deleted,
            test_date = excluded.test_date
        WHERE c.version_no < excluded.version_no;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION tivora.point_at_new_versions() FROM PUBLIC;

CREATE TRIGGER versions_point_at_latest AFTER INSERT ON tivora.versions
REFERENCING NEW TABLE AS added_versions
FOR EACH STATEMENT EXECUTE FUNCTION tivora.point_at_new_versions();

-- The tests collected before this table was there.
INSERT INTO tivora.current_versions (test_id, version_no, office_id, lineage_id, station_id, record_no,
                                     record_length, record_kept, deleted, test_date)
SELECT DISTINCT ON (v.test_id) v.test_id, v.version_no, v.office_id, t.lineage_id, t.station_id, v.record_no,
       octet_length(v.raw), octet_length(rtrim(v.raw, '\x20'::bytea)), v.deleted, v.test_date
FROM tivora.versions v
JOIN tivora.tests t ON t.test_id = v.test_id
ORDER BY v.test_id, v.version_no DESC;

-- The report reads it; a collector has no rights on it (the trigger writes for it).
GRANT SELECT ON tivora.current_versions TO tivora_report;
ALTER TABLE tivora.current_versions ENABLE ROW LEVEL SECURITY;
CREATE POLICY read_all ON tivora.current_versions FOR SELECT TO tivora_report USING (true);
