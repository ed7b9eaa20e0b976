INSERT INTO objects SELECT (SELECT max(id) + 1 FROM objects), kind, container, net, record FROM objects WHERE kind = 8;
