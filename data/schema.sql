-- The Orvex observation tables. Loaded into the current database by
-- scripts/dbserver.sh load; the sample rows come from data/orvex_sample.
--
-- Every table starts with the same ten columns, the ones the main window's
-- statements name: id, year, month, day, hour (UTC, plain integers, no DATE or
-- DATETIME column anywhere), faa (3 characters), icao (4), wmo (5), lat and lon
-- (decimal degrees, north and east positive). NULL in a weather column means
-- the sensor gave no value for that hour.
--
-- Units: temperatures in the surface tables in degrees F, in "upper" in
-- degrees C; wind direction in degrees (0 with speed 0 is calm), speeds in
-- knots; visibility in statute miles; altimeter setting in inches of mercury;
-- pressures in hPa; precipitation in inches; heights in feet (surface) and
-- metres (upper).

DROP TABLE IF EXISTS surfaceshort;
DROP TABLE IF EXISTS surface;
DROP TABLE IF EXISTS upper;

-- Hourly surface observations, decoded.
CREATE TABLE surfaceshort (
    id      INT UNSIGNED NOT NULL AUTO_INCREMENT,
    year    SMALLINT NOT NULL,
    month   TINYINT NOT NULL,
    day     TINYINT NOT NULL,
    hour    TINYINT NOT NULL,
    faa     CHAR(3) NULL,
    icao    CHAR(4) NOT NULL,
    wmo     CHAR(5) NULL,
    lat     DECIMAL(7,4) NOT NULL,
    lon     DECIMAL(7,4) NOT NULL,
    temp    DECIMAL(4,1) NULL,           -- air temperature, F
    dewpt   DECIMAL(4,1) NULL,           -- dew point, F
    relh    DECIMAL(4,1) NULL,           -- relative humidity, %
    feel    DECIMAL(4,1) NULL,           -- heat index or wind chill, F
    wdir    SMALLINT NULL,               -- wind from, degrees
    wspd    SMALLINT NULL,               -- wind speed, kt
    gust    SMALLINT NULL,               -- gust, kt (NULL: no gust reported)
    vis     DECIMAL(4,2) NULL,           -- visibility, statute miles
    alti    DECIMAL(4,2) NULL,           -- altimeter setting, inHg
    slp     DECIMAL(5,1) NULL,           -- sea-level pressure, hPa
    p01i    DECIMAL(4,2) NULL,           -- precipitation in the past hour, in
    skyc    VARCHAR(3) NULL,             -- cover of the lowest layer: CLR FEW SCT BKN OVC
    skyl    SMALLINT UNSIGNED NULL,      -- base of the lowest layer, ft
    ceil    SMALLINT UNSIGNED NULL,      -- ceiling (lowest BKN or OVC), ft
    wxcodes VARCHAR(24) NULL,            -- present weather, e.g. "-RA BR"; empty: none
    PRIMARY KEY (id),
    KEY station_time (icao, year, month, day, hour)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Hourly surface reports: the decoded values, the report's own time and its text.
CREATE TABLE surface (
    id          INT UNSIGNED NOT NULL AUTO_INCREMENT,
    year        SMALLINT NOT NULL,
    month       TINYINT NOT NULL,
    day         TINYINT NOT NULL,
    hour        TINYINT NOT NULL,
    faa         CHAR(3) NULL,
    icao        CHAR(4) NOT NULL,
    wmo         CHAR(5) NULL,
    lat         DECIMAL(7,4) NOT NULL,
    lon         DECIMAL(7,4) NOT NULL,
    exactyear   SMALLINT NOT NULL,       -- when the report was made (UTC); the
    exactmonth  TINYINT NOT NULL,        -- routine report for hour H is made
    exactday    TINYINT NOT NULL,        -- some minutes before H, e.g. at
    exacthour   TINYINT NOT NULL,        -- (H-1):53
    exactminute TINYINT NOT NULL,
    temp        DECIMAL(4,1) NULL,
    dewpt       DECIMAL(4,1) NULL,
    relh        DECIMAL(4,1) NULL,
    feel        DECIMAL(4,1) NULL,
    wdir        SMALLINT NULL,
    wspd        SMALLINT NULL,
    gust        SMALLINT NULL,
    vis         DECIMAL(4,2) NULL,
    alti        DECIMAL(4,2) NULL,
    slp         DECIMAL(5,1) NULL,
    p01i        DECIMAL(4,2) NULL,
    skyc        VARCHAR(3) NULL,
    skyl        SMALLINT UNSIGNED NULL,
    ceil        SMALLINT UNSIGNED NULL,
    wxcodes     VARCHAR(24) NULL,
    metar       VARCHAR(255) NOT NULL,   -- the report as sent
    PRIMARY KEY (id),
    KEY station_time (icao, year, month, day, hour)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Soundings at 00 and 12 UTC: the surface level, then the mandatory pressure levels.
CREATE TABLE upper (
    id      INT UNSIGNED NOT NULL AUTO_INCREMENT,
    year    SMALLINT NOT NULL,
    month   TINYINT NOT NULL,
    day     TINYINT NOT NULL,
    hour    TINYINT NOT NULL,
    faa     CHAR(3) NULL,
    icao    CHAR(4) NOT NULL,
    wmo     CHAR(5) NULL,
    lat     DECIMAL(7,4) NOT NULL,
    lon     DECIMAL(7,4) NOT NULL,
    pres    DECIMAL(5,1) NOT NULL,       -- pressure, hPa
    hght    MEDIUMINT NULL,              -- geopotential height, m
    temp    DECIMAL(4,1) NULL,           -- temperature, C
    dwpt    DECIMAL(4,1) NULL,           -- dew point, C (not measured above 300 hPa)
    relh    TINYINT UNSIGNED NULL,       -- relative humidity, %
    mixr    DECIMAL(5,2) NULL,           -- mixing ratio, g/kg
    drct    SMALLINT NULL,               -- wind from, degrees
    sknt    SMALLINT NULL,               -- wind speed, kt
    thta    DECIMAL(5,1) NULL,           -- potential temperature, K
    thte    DECIMAL(5,1) NULL,           -- equivalent potential temperature, K
    thtv    DECIMAL(5,1) NULL,           -- virtual potential temperature, K
    levtype CHAR(3) NOT NULL,            -- SFC (surface) or MAN (mandatory level)
    PRIMARY KEY (id),
    KEY station_time (icao, year, month, day, hour)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
