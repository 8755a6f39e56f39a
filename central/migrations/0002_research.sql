-- Research without identities: a role that reads the current tests with a pseudonym, the age at the
-- test and the sex in place of the names and the birth number, and nothing else.
--
-- The pseudonym is the one tivora-report's pseudonymised exports give under the same key: 'P' and the
-- first 16 bytes, in lowercase hexadecimal, of HMAC-SHA-256 under the lab's 32-byte key of the birth
-- number's 9 or 10 digits. The administrator gives the database the lab's key once, with
-- tivora.set_research_key(); until then the pseudonyms are NULL. The key lies in a table only the
-- owner reads; the research role reaches it only through the view, which runs with its owner's rights.
-- No function that computes a pseudonym from a given birth number is offered to anyone: with one, a
-- list of birth numbers would reveal the person behind every pseudonym.

CREATE EXTENSION IF NOT EXISTS pgcrypto;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'tivora_research') THEN
        CREATE ROLE tivora_research NOLOGIN;
    END IF;
END
$$;

-- The lab's key: one row at most.
CREATE TABLE tivora.research_key (
    only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
    key_bytes bytea NOT NULL CHECK (octet_length(key_bytes) = 32),
    set_at timestamptz NOT NULL DEFAULT now()
);
REVOKE ALL ON tivora.research_key FROM PUBLIC, tivora_report, tivora_collector;

-- Sets the lab's key (the key file's 64 hexadecimal digits as bytes: decode('...', 'hex')), replacing
-- one set before. For the administrator only.
CREATE FUNCTION tivora.set_research_key(lab_key bytea) RETURNS void
LANGUAGE plpgsql SET search_path = pg_catalog AS $$
BEGIN
    IF lab_key IS NULL OR octet_length(lab_key) <> 32 THEN
        RAISE EXCEPTION 'The research key is the key file''s 32 bytes (64 hexadecimal digits), not % bytes',
            coalesce(octet_length(lab_key), 0);
    END IF;
    INSERT INTO tivora.research_key (only_row, key_bytes) VALUES (true, lab_key)
    ON CONFLICT (only_row) DO UPDATE SET key_bytes = excluded.key_bytes, set_at = now();
END
$$;
REVOKE ALL ON FUNCTION tivora.set_research_key(bytea) FROM PUBLIC;

-- The birth date and sex ('M', 'F') of a Czech or Slovak birth number stored as RC_1 and RC_2; both NULL
-- when the number breaks a rule, never a guess. The rules are the report's (report/birth_number.h):
-- blanks around a part's digits are left out, one between them is refused; six digits and three
-- (births before 1954) or four; ten digits divisible by 11, or until 1985 a remainder of 10 with the
-- check digit 0; the month + 50 for women, + 20 and + 70 from 2004 on; a real day of the calendar.
CREATE FUNCTION tivora.birth_number_facts(rc_1 text, rc_2 text, OUT birth_date date, OUT sex text)
LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog AS $$
DECLARE
    part1 text := btrim(coalesce(rc_1, ''), ' ');
    part2 text := btrim(coalesce(rc_2, ''), ' ');
    yy int;
    birth_year int;
    stored_month int;
    birth_month int;
    birth_day int;
    female boolean := false;
    extra boolean := false;
    digits bigint;
BEGIN
    IF part1 !~ '^[0-9]{6}$' OR part2 !~ '^[0-9]{3,4}$' THEN
        RETURN;
    END IF;
    yy := substr(part1, 1, 2)::int;
    IF length(part2) = 3 THEN
        IF yy >= 54 THEN
            RETURN;
        END IF;
        birth_year := 1900 + yy;
    ELSE
        birth_year := CASE WHEN yy >= 54 THEN 1900 + yy ELSE 2000 + yy END;
        digits := (part1 || part2)::bigint;
        IF digits % 11 <> 0 AND NOT ((digits / 10) % 11 = 10 AND digits % 10 = 0 AND birth_year <= 1985) THEN
            RETURN;
        END IF;
    END IF;
    stored_month := substr(part1, 3, 2)::int;
    birth_month := stored_month;
    IF stored_month BETWEEN 51 AND 62 THEN
        birth_month := stored_month - 50;
        female := true;
    ELSIF stored_month BETWEEN 21 AND 32 THEN
        birth_month := stored_month - 20;
        extra := true;
    ELSIF stored_month BETWEEN 71 AND 82 THEN
        birth_month := stored_month - 70;
        female := true;
        extra := true;
    END IF;
    IF birth_month NOT BETWEEN 1 AND 12 OR (extra AND birth_year < 2004) THEN
        RETURN;
    END IF;
    birth_day := substr(part1, 5, 2)::int;
    IF birth_day < 1
       OR birth_day > extract(day FROM make_date(birth_year, birth_month, 1) + interval '1 month' - interval '1 day') THEN
        RETURN;
    END IF;
    birth_date := make_date(birth_year, birth_month, birth_day);
    sex := CASE WHEN female THEN 'F' ELSE 'M' END;
END
$$;

-- The age in whole years on `on_day` of someone born on `birth`: a birthday on that day counts as
-- reached, and one born on 29 February reaches it on 28 February in common years. NULL when `on_day`
-- is before `birth` or either is NULL.
CREATE FUNCTION tivora.age_on(birth date, on_day date) RETURNS int
LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog AS $$
DECLARE
    birthday_day int := extract(day FROM birth)::int;
    common_year boolean := extract(day FROM make_date(extract(year FROM on_day)::int, 3, 1) - 1) = 28;
    reached boolean;
BEGIN
    IF birth IS NULL OR on_day IS NULL OR on_day < birth THEN
        RETURN NULL;
    END IF;
    IF extract(month FROM birth) = 2 AND birthday_day = 29 AND common_year THEN
        birthday_day := 28;
    END IF;
    reached := CASE WHEN extract(month FROM on_day) <> extract(month FROM birth)
                    THEN extract(month FROM on_day) > extract(month FROM birth)
                    ELSE extract(day FROM on_day) >= birthday_day END;
    RETURN extract(year FROM on_day)::int - extract(year FROM birth)::int - CASE WHEN reached THEN 0 ELSE 1 END;
END
$$;

-- The current tests for research: no names, birth numbers, date box texts, records' bytes, issues'
-- texts (they may quote a row), rows marked deleted or earlier versions. A security barrier keeps the
-- reader's own conditions from being evaluated on rows the view leaves out.
DO $$
DECLARE
    crypto_schema name := (SELECT n.nspname FROM pg_extension e JOIN pg_namespace n ON n.oid = e.extnamespace
                           WHERE e.extname = 'pgcrypto');
BEGIN
    EXECUTE format($view$
CREATE VIEW tivora.research_tests WITH (security_barrier) AS
SELECT c.test_id, c.office,
       CASE WHEN c.birth_key ~ '^[0-9]{9,10}$' THEN
           'P' || encode(substring(%I.hmac(convert_to(c.birth_key, 'UTF8'), k.key_bytes, 'sha256') FROM 1 FOR 16), 'hex')
       END AS pseudonym,
       tivora.age_on(f.birth_date, c.test_date) AS age, f.sex, c.test_date,
       c.count_1, c.count_2, c.count_3, c.count_4, c.mean_1, c.mean_2, c.mean_3, c.mean_4,
       c.premature_1, c.premature_2, c.premature_3, c.premature_4,
       c.ser1a, c.ser1b, c.ser2a, c.ser2b, c.ser3a, c.ser3b, c.ser4a, c.ser4b, c.has_error
FROM tivora.current_tests c
CROSS JOIN LATERAL tivora.birth_number_facts(c.rc_1, c.rc_2) f
LEFT JOIN tivora.research_key k ON true
WHERE NOT c.deleted
$view$, crypto_schema);
END
$$;

GRANT USAGE ON SCHEMA tivora TO tivora_research;
GRANT SELECT ON tivora.research_tests TO tivora_research;
