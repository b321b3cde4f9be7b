// filled in with the ventrac-check work
