-- A small shop: customers, products, orders and their lines. A few thousand rows
-- covering the common column types, NULLs, accented text, long descriptions and
-- small binary pictures. Every value is computed from the row number, so the data
-- is the same on every machine.
SET NAMES utf8mb4;
DROP DATABASE IF EXISTS shop;
CREATE DATABASE shop CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE shop;

CREATE TABLE customers (
  id       INT UNSIGNED NOT NULL PRIMARY KEY,
  name     VARCHAR(60)  NOT NULL,
  email    VARCHAR(100) NULL,
  city     VARCHAR(40)  NOT NULL,
  country  CHAR(2)      NOT NULL,
  born     DATE         NULL,
  vip      BOOL         NOT NULL DEFAULT 0,
  credit   DECIMAL(10,2) NOT NULL,
  joined   DATETIME     NOT NULL,
  notes    TEXT         NULL
) ENGINE=InnoDB;

INSERT INTO customers
SELECT seq,
       CONCAT(ELT(1 + seq % 12, 'Zoë', 'José', 'Björn', 'Anaïs', 'Lukáš', 'Ingrid',
                  'François', 'Mårten', 'Núria', 'Jürgen', 'Chloé', 'Søren'), ' ',
              ELT(1 + (seq DIV 12) % 10, 'Müller', 'García', 'Öberg', 'Dubois', 'Nielsen',
                  'Fernández', 'Åkesson', 'López', 'Schäfer', 'Brontë')),
       IF(seq % 7 = 0, NULL, CONCAT('customer', seq, '@example.org')),
       ELT(1 + seq % 8, 'Zürich', 'Málaga', 'Göteborg', 'Besançon', 'Århus', 'Köln',
           'Reykjavík', 'Lisboa'),
       ELT(1 + seq % 8, 'CH', 'ES', 'SE', 'FR', 'DK', 'DE', 'IS', 'PT'),
       IF(seq % 11 = 0, NULL, DATE '1950-01-01' + INTERVAL (seq * 37) % 20000 DAY),
       seq % 5 = 0,
       ROUND((seq * 7919) % 1000000 / 100, 2),
       TIMESTAMP '2015-03-01 08:00:00' + INTERVAL seq * 86317 SECOND,
       IF(seq % 3 = 0, NULL,
          CONCAT('Prefers delivery after 5 pm. Café at the corner knows the door code; ',
                 'loyalty card n° ', seq, '.'))
FROM seq_1_to_300;

CREATE TABLE products (
  id          INT UNSIGNED NOT NULL PRIMARY KEY,
  sku         CHAR(10)     NOT NULL,
  title       VARCHAR(100) NOT NULL,
  description MEDIUMTEXT   NOT NULL,
  price       DECIMAL(8,2) NOT NULL,
  weight_kg   FLOAT        NOT NULL,
  rating      DOUBLE       NULL,
  stock       SMALLINT UNSIGNED NOT NULL,
  category    ENUM('books','music','toys','tools') NOT NULL,
  tags        SET('new','sale','gift') NOT NULL,
  released    YEAR         NOT NULL,
  picture     BLOB         NULL,
  updated     TIMESTAMP    NOT NULL DEFAULT CURRENT_TIMESTAMP
) ENGINE=InnoDB;

INSERT INTO products
SELECT seq,
       CONCAT('SKU-', LPAD(seq, 6, '0')),
       CONCAT(ELT(1 + seq % 6, 'Crème brûlée cookbook', 'Smörgåsbord of songs',
                  'Wooden élan train', 'Façade hammer', 'Über-puzzle 1000',
                  'Niño guitar strings'), ' #', seq),
       CONCAT('Item ', seq, '. ',
              REPEAT('A sturdy, well-made article, tested by our staff in Münster and Séville. ',
                     5 + seq % 60),
              'End of description.'),
       ROUND(1 + (seq * 613) % 50000 / 100, 2),
       (seq % 97) / 8,
       IF(seq % 4 = 0, NULL, 1 + (seq % 40) / 10),
       (seq * 37) % 2000,
       1 + seq % 4,
       seq % 8,
       1990 + seq % 35,
       IF(seq % 5 = 0, NULL, UNHEX(REPEAT(MD5(seq), 8))),
       TIMESTAMP '2024-01-01 00:00:00' + INTERVAL seq HOUR
FROM seq_1_to_120;

CREATE TABLE orders (
  id          BIGINT       NOT NULL PRIMARY KEY,
  customer_id INT UNSIGNED NOT NULL,
  ordered     DATETIME     NOT NULL,
  ship_time   TIME         NULL,
  status      ENUM('new','paid','shipped','cancelled') NOT NULL,
  total       DECIMAL(12,2) NOT NULL,
  paid        BIT(1)       NOT NULL,
  remark      VARCHAR(255) NULL,
  FOREIGN KEY (customer_id) REFERENCES customers(id)
) ENGINE=InnoDB;

INSERT INTO orders
SELECT 100000 + seq,
       1 + (seq * 7) % 300,
       TIMESTAMP '2023-01-01 09:00:00' + INTERVAL seq * 15013 SECOND,
       IF(seq % 4 = 0, NULL, SEC_TO_TIME((seq * 311) % 86400)),
       1 + seq % 4,
       0,
       seq % 4 IN (1, 2),
       IF(seq % 9 = 0, 'Leave at the neighbour’s – thanks!', NULL)
FROM seq_1_to_2000;

CREATE TABLE order_lines (
  order_id   BIGINT           NOT NULL,
  line_no    TINYINT UNSIGNED NOT NULL,
  product_id INT UNSIGNED     NOT NULL,
  qty        MEDIUMINT        NOT NULL,
  unit_price DECIMAL(8,2)     NOT NULL,
  discount   FLOAT            NULL,
  PRIMARY KEY (order_id, line_no),
  FOREIGN KEY (order_id) REFERENCES orders(id),
  FOREIGN KEY (product_id) REFERENCES products(id)
) ENGINE=InnoDB;

INSERT INTO order_lines
SELECT o.id, l.seq, p.id, 1 + (o.id + l.seq) % 5, p.price,
       IF((o.id + l.seq) % 6 = 0, 0.1, NULL)
FROM orders o
JOIN seq_1_to_4 l ON l.seq <= 1 + o.id % 4
JOIN products p ON p.id = 1 + (o.id * 13 + l.seq * 7) % 120;

UPDATE orders o
SET total = (SELECT SUM(qty * unit_price) FROM order_lines WHERE order_id = o.id);

-- Views are not converted; this one shows that.
CREATE VIEW big_orders AS SELECT id, customer_id, total FROM orders WHERE total > 1000;
