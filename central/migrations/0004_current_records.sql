-- The last version's record itself beside its pointer, and whether the test has trials: so that an export
-- reads one table in its index's order, and asks for the trials of the tests that have any. The record is
-- a copy of the version's bytes up to the blanks that end it (record_kept of them: what the report is
-- sent), small enough to be stored as it is; versions stay as they were added.

ALTER TABLE tivora.current_versions
    ADD COLUMN raw bytea COMPRESSION lz4,                 -- the last version's record (tivora.versions)
                                                          -- without the blanks that end it
    ADD COLUMN has_trials boolean NOT NULL DEFAULT false; -- the test has trials (tivora.trials)

CREATE OR REPLACE FUNCTION tivora.point_at_new_versions() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
    INSERT INTO tivora.current_versions AS c
        (test_id, version_no, office_id, lineage_id, station_id, record_no, record_length, record_kept, deleted,
         test_date, raw, has_trials)
    SELECT DISTINCT ON (n.test_id) n.test_id, n.version_no, n.office_id, t.lineage_id, t.station_id, n.record_no,
           octet_length(n.raw), octet_length(k.kept), n.deleted, n.test_date, k.kept,
           EXISTS (SELECT FROM tivora.trials r WHERE r.test_id = n.test_id)
    FROM added_versions n
    CROSS JOIN LATERAL (SELECT rtrim(n.raw, '\x20'::bytea) AS kept) k
    JOIN tivora.tests t ON t.test_id = n.test_id
    ORDER BY n.test_id, n.version_no DESC
    ON CONFLICT (test_id) DO UPDATE
        SET version_no = excluded.version_no, office_id = excluded.office_id, lineage_id = excluded.lineage_id,
            station_id = excluded.station_id, record_no = excluded.record_no,
            record_length = excluded.record_length, record_kept = excluded.record_kept, deleted = excluded.deleted,
            test_date = excluded.test_date, raw = excluded.raw, has_trials = c.has_trials OR excluded.has_trials
        WHERE c.version_no < excluded.version_no;
    RETURN NULL;
END
$$;

-- Marks the tests whose trials a statement added (a test's trials may come before or after its version,
-- in a later pass). Runs as its owner, as the pointers' trigger does.
CREATE FUNCTION tivora.mark_tests_with_trials() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
    UPDATE tivora.current_versions c SET has_trials = true
    FROM (SELECT DISTINCT test_id FROM added_trials) n
    WHERE c.test_id = n.test_id AND NOT c.has_trials;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION tivora.mark_tests_with_trials() FROM PUBLIC;

CREATE TRIGGER trials_mark_tests AFTER INSERT ON tivora.trials
REFERENCING NEW TABLE AS added_trials
FOR EACH STATEMENT EXECUTE FUNCTION tivora.mark_tests_with_trials();

-- The tests collected before.
UPDATE tivora.current_versions c
SET raw = rtrim(v.raw, '\x20'::bytea), has_trials = EXISTS (SELECT FROM tivora.trials r WHERE r.test_id = c.test_id)
FROM tivora.versions v
WHERE v.test_id = c.test_id AND v.version_no = c.version_no;

ALTER TABLE tivora.current_versions ALTER COLUMN raw SET NOT NULL;
