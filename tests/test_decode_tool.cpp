// filled in with the ventrac-decode work
